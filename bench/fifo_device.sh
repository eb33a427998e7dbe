# Sourced by the playback benches: ALSA's default device as a raw file device writing into a
# FIFO, which a pacer then reads at a sound card's rate.
# shellcheck shell=bash

# fifo_device DIR: makes DIR/fifo and the ALSA configuration DIR/fifo.conf that plays into it.
fifo_device() {
  mkfifo "$1/fifo"
  cat > "$1/fifo.conf" <<CONF
pcm.!default {
  type file
  slave { pcm { type null } }
  file "$1/fifo"
  format "raw"
}
CONF
}
