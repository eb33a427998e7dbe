#pragma once

#include <QPixmap>
#include <QPushButton>

// A push button that shows an image instead of its caption. The caption stays the button's
// text, so its mnemonic still works. The image is centred and clipped to the button; where
// the button is wider, the image's outer columns are stretched to fill it.
class BitmapButton : public QPushButton {
    Q_OBJECT

  public:
    BitmapButton(const QString& caption, QWidget* parent);

    // While it stands for stopping: says "Stop" to screen readers, and its access key
    // still works. ShowCaption puts its own caption back.
    void ShowStopText();
    void ShowCaption() { setText(m_caption); }

    // Shows the image with that resource number.
    void SetImage(int resourceId);
    // Resource number of the image shown, 0 for none.
    int ImageId() const { return m_imageId; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const QPixmap& ImageFor(qreal devicePixelRatio);

    QString m_caption;
    QPixmap m_image;
    int m_imageId = 0;
};
