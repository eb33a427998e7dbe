<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Zerbex</name>
    <message>
        <source>输出电平</source>
        <translation>Output level</translation>
    </message>
    <message>
        <source>音调：</source>
        <translation>Key:</translation>
    </message>
    <message>
        <source>焦点：</source>
        <translation>Focus:</translation>
    </message>
    <message>
        <source>发挥立体声 &amp;3</source>
        <translation>Play Stereo &amp;3</translation>
    </message>
    <message>
        <source>同时写人声</source>
        <translation>Write the vocals too</translation>
    </message>
    <message>
        <source>匹配响度</source>
        <translation>Match loudness</translation>
    </message>
    <message>
        <source>无法将“匹配响度”的选择保存到 %1。</source>
        <translation>The choice to match the loudness could not be kept in %1.</translation>
    </message>
    <message>
        <source>无法将“同时写人声”的选择保存到 %1。</source>
        <translation>The choice to write the vocals too could not be kept in %1.</translation>
    </message>
    <message>
        <source>速度：</source>
        <translation>Tempo:</translation>
    </message>
    <message>
        <source>输入文件</source>
        <translation>Input file</translation>
    </message>
    <message>
        <source>输出文件</source>
        <translation>Output file</translation>
    </message>
    <message>
        <source>Error: You need to install Acrobat Reader to view manual!
 Zerbex will attempt to connect to the Adobe webpage.</source>
        <translation>Error: You need a PDF viewer to view the manual!
 Install one from your distribution, such as Evince, Okular or Atril, and try again.</translation>
    </message>
    <message>
        <source>Zerbex 2声乐消除工作站</source>
        <translation>Zerbex 2 Vocal Removal Workstation</translation>
    </message>
    <message>
        <source>选择和输入文件</source>
        <translation>Select Input File...</translation>
    </message>
    <message>
        <source>选择输出文件</source>
        <translation>Select Output...</translation>
    </message>
    <message>
        <source>发挥节能与控制</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>循环开始：</source>
        <translation>Loop start:</translation>
    </message>
    <message>
        <source>发挥定位及作用：</source>
        <translation>Position:</translation>
    </message>
    <message>
        <source>循环结束：</source>
        <translation>Loop end:</translation>
    </message>
    <message>
        <source>调整过滤器和频道自上而下</source>
        <translation>Filters and Channels</translation>
    </message>
    <message>
        <source>低</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>&amp;高</source>
        <translation>&amp;High</translation>
    </message>
    <message>
        <source>左边</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>右边</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>调整声相位置</source>
        <translation>Pan</translation>
    </message>
    <message>
        <source>发挥Zerbex &amp;2</source>
        <translation>Play Zerbex &amp;2</translation>
    </message>
    <message>
        <source>发挥Zerbex &amp;1</source>
        <translation>Play Zerbex &amp;1</translation>
    </message>
    <message>
        <source>发挥原件</source>
        <translation>Play Original</translation>
    </message>
    <message>
        <source>中心</source>
        <translation>Centre</translation>
    </message>
    <message>
        <source>右：</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>潘：</source>
        <translation>Pan:</translation>
    </message>
    <message>
        <source>写文件</source>
        <translation>Write File</translation>
    </message>
    <message>
        <source>关于Zerbex</source>
        <translation>About Zerbex</translation>
    </message>
    <message>
        <source>检查的Hollenby</source>
        <translation>Upgrades...</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>调节输出</source>
        <translation>Output Level</translation>
    </message>
    <message>
        <source>读取和手册</source>
        <translation>Manual</translation>
    </message>
    <message>
        <source>关于Zerbex ... </source>
        <translation>About Zerbex... </translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>预设</source>
        <translation>Presets</translation>
    </message>
    <message>
        <source>将设置保存为预设...</source>
        <translation>Save settings as preset...</translation>
    </message>
    <message>
        <source>删除预设</source>
        <translation>Delete preset</translation>
    </message>
    <message>
        <source>预设名称：</source>
        <translation>Name of the preset:</translation>
    </message>
    <message>
        <source>预设“%1”已存在。要替换它吗？</source>
        <translation>The preset “%1” exists. Replace it?</translation>
    </message>
    <message>
        <source>要删除预设“%1”吗？</source>
        <translation>Delete the preset “%1”?</translation>
    </message>
    <message>
        <source>正在保存预设...</source>
        <translation>Saving the presets...</translation>
    </message>
    <message>
        <source>声音输出</source>
        <translation>Sound output</translation>
    </message>
    <message>
        <source>默认 (%1: %2)</source>
        <translation>Default (%1: %2)</translation>
    </message>
    <message>
        <source>默认</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>声音设备“%1”不存在；将在默认设备上播放。</source>
        <translation>The sound device &quot;%1&quot; is not there; playing on the default device.</translation>
    </message>
    <message>
        <source>无法将声音设备的选择保存到 %1。</source>
        <translation>The choice of sound device could not be kept in %1.</translation>
    </message>
    <message>
        <source>%1（正在解码输入文件：%2%）</source>
        <translation>%1 (decoding the input file: %2%)</translation>
    </message>
    <message>
        <source>zerbex2manual-zh.pdf</source>
        <translation>zerbex2manual.pdf</translation>
    </message>
    <message>
        <source>%1 半音</source>
        <translation>%1 st</translation>
    </message>
    <message>
        <source>波形</source>
        <translation>Waveform</translation>
    </message>
    <message>
        <source>还没有歌曲</source>
        <translation>No song yet</translation>
    </message>
    <message>
        <source>位置 %1，循环 %2 至 %3</source>
        <translation>Position %1, loop %2 to %3</translation>
    </message>
</context>
</TS>
