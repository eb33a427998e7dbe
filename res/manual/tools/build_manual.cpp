// Renders the user manual from its Markdown source into a PDF at build time, in one of the
// window's languages: a caption written [[caption]] in the source comes out as the window in
// that language shows it (English: its translation from the Qt Linguist file; Chinese: the
// caption, with the English in brackets for a reader of the English prose). A table row that
// would run over a page break starts on the next page.

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QXmlStreamReader>
#include <cmath>
#include <cstdio>

namespace {

constexpr char kStyle[] =
    "body { font-size: 10.5pt; }"
    "h1 { font-size: 22pt; color: #1d3557; }"
    "h2 { font-size: 14pt; color: #1d3557; margin-top: 14px; }"
    "table { border-collapse: collapse; }"
    "td, th { padding: 3px; border: 1px solid #999999; }"
    "code, pre { font-family: monospace; }";

// A caption as the manual names it: without its access-key mark and closing colon.
QString Plain(QString caption) {
    caption.remove(QLatin1Char('&'));
    while (caption.endsWith(QLatin1Char(':')) || caption.endsWith(QChar(0xFF1A))) {
        caption.chop(1);
    }
    return caption.trimmed();
}

// Every caption of the translations file and its English.
bool ReadCaptions(const QString& path, QHash<QString, QString>& english) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    QXmlStreamReader xml(&file);
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == QLatin1String("source")) {
            source = Plain(xml.readElementText());
        } else if (xml.name() == QLatin1String("translation")) {
            english.insert(source, Plain(xml.readElementText()));
        }
    }
    if (xml.hasError()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(xml.errorString()));
        return false;
    }
    return true;
}

// The source with its captions in the language; false, naming it, for one the file lacks.
bool NameCaptions(QString& text, const QHash<QString, QString>& english, bool chinese) {
    static const QRegularExpression kCaption(QStringLiteral("\\[\\[([^\\]]+)\\]\\]"));
    QString out;
    qsizetype from = 0;
    for (auto it = kCaption.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString caption = match.captured(1);
        const auto found = english.constFind(caption);
        if (found == english.constEnd()) {
            std::fprintf(stderr, "no caption %s in the translations\n", qPrintable(caption));
            return false;
        }
        out += text.mid(from, match.capturedStart() - from);
        out += chinese ? QStringLiteral("%1 (%2)").arg(caption, *found) : *found;
        from = match.capturedEnd();
    }
    text = out + text.mid(from);
    return true;
}

// Top and bottom of a table row in the laid-out document.
QPair<double, double> RowExtent(QTextDocument& document, QTextTable* table, int row) {
    double top = 1e12;
    double bottom = 0;
    for (int column = 0; column < table->columns(); ++column) {
        const QTextTableCell cell = table->cellAt(row, column);
        for (QTextBlock block = cell.firstCursorPosition().block();
             block.isValid() && block.position() <= cell.lastPosition(); block = block.next()) {
            const QRectF rect = document.documentLayout()->blockBoundingRect(block);
            top = std::min(top, rect.top());
            bottom = std::max(bottom, rect.bottom());
        }
    }
    return {top, bottom};
}

// Moves each row that a page break would cut to the next page, by the space above its cells'
// text; once per row, from the top, as each move shifts the rest.
void KeepRowsWhole(QTextDocument& document) {
    const double page = document.pageSize().height();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextTable* table = QTextCursor(block).currentTable();
        if (table == nullptr || QTextCursor(block).position() != table->firstPosition()) {
            continue;
        }
        for (int row = 0; row < table->rows(); ++row) {
            const auto [top, bottom] = RowExtent(document, table, row);
            const double next = std::ceil(top / page) * page;
            if (std::floor(top / page) == std::floor((bottom - 1) / page) || bottom - top > page) {
                continue;
            }
            for (int column = 0; column < table->columns(); ++column) {
                QTextCursor cursor = table->cellAt(row, column).firstCursorPosition();
                QTextBlockFormat format = cursor.blockFormat();
                format.setTopMargin(format.topMargin() + (next - top) + 8);
                cursor.setBlockFormat(format);
            }
        }
    }
}

bool Render(const QString& sourcePath, const QString& tsPath, bool chinese,
            const QString& pdfPath) {
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(sourcePath));
        return false;
    }
    QString text = QString::fromUtf8(source.readAll());
    QHash<QString, QString> english;
    if (!ReadCaptions(tsPath, english) || !NameCaptions(text, english, chinese)) {
        return false;
    }
    QTextDocument document;
    document.setDefaultStyleSheet(kStyle);
    document.setMarkdown(text);

    QPdfWriter writer(pdfPath);
    writer.setTitle("Zerbex 2 User Manual");
    writer.setCreator("Zerbex 2");
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter));
    // At the resolution the document lays out in, point sizes come out as printed sizes.
    writer.setResolution(96);
    document.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
    KeepRowsWhole(document);
    document.print(&writer);
    return QFile::exists(pdfPath);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 5 || (qstrcmp(argv[3], "en") != 0 && qstrcmp(argv[3], "zh") != 0)) {
        std::fprintf(stderr, "usage: build_manual SOURCE.md TRANSLATIONS.ts en|zh OUTPUT.pdf\n");
        return 2;
    }
    return Render(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                  qstrcmp(argv[3], "zh") == 0, QString::fromLocal8Bit(argv[4]))
               ? 0
               : 1;
}
