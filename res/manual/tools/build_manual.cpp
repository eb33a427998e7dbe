// Renders the user manual from its Markdown source into a PDF at build time.

#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

namespace {

constexpr char kStyle[] =
    "body { font-size: 10.5pt; }"
    "h1 { font-size: 22pt; color: #1d3557; }"
    "h2 { font-size: 14pt; color: #1d3557; margin-top: 14px; }"
    "table { border-collapse: collapse; }"
    "td, th { padding: 3px; border: 1px solid #999999; }"
    "code, pre { font-family: monospace; }";

bool Render(const QString& sourcePath, const QString& pdfPath) {
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(sourcePath));
        return false;
    }
    QTextDocument document;
    document.setDefaultStyleSheet(kStyle);
    document.setMarkdown(QString::fromUtf8(source.readAll()));

    QPdfWriter writer(pdfPath);
    writer.setTitle("Zerbex 2 User Manual");
    writer.setCreator("Zerbex 2");
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter));
    // At the resolution the document lays out in, point sizes come out as printed sizes.
    writer.setResolution(96);
    document.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
    document.print(&writer);
    return QFile::exists(pdfPath);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: build_manual SOURCE.md OUTPUT.pdf\n");
        return 2;
    }
    return Render(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
