// tavlin_manual_pdf: turns the user manual (Markdown) into an A4 PDF at build
// time, with Qt's own text layout, so that the manual needs nothing beyond the
// Qt the program is built with.
//
//   tavlin_manual_pdf MANUAL.md OUTPUT.pdf
//
// Pictures are resolved relative to the Markdown file. A picture that cannot be
// read fails the run (exit 1): a manual with a hole where a screenshot should be
// must not pass as built. The PDF is written through a temporary file, so a
// failed run never leaves a half-written manual behind.
#include <QAbstractTextDocumentLayout>
#include <QBrush>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRect>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>
#include <cstdio>

namespace {

constexpr double kMarginMm = 18.0;
constexpr double kBodyPointSize = 10.0;
constexpr int kResolutionDpi = 300;
// The page number sits in a strip at the foot of each page.
constexpr double kFooterMm = 8.0;
// QTextDocument sizes pictures in pixels of 1/96 inch, whatever the device.
constexpr double kCssDpi = 96.0;

void Fail(const QString& message) {
    std::fprintf(stderr, "tavlin_manual_pdf: %s\n", qPrintable(message));
}

struct ImageSpot {
    int position = 0;
    int length = 0;
    QTextImageFormat format;
};

// Every picture the text names, gathered first: changing a fragment's format
// while walking the fragments would split or merge the ones ahead.
QList<ImageSpot> FindImages(const QTextDocument& doc) {
    QList<ImageSpot> spots;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid() && fragment.charFormat().isImageFormat()) {
                spots.append({fragment.position(), fragment.length(),
                              fragment.charFormat().toImageFormat()});
            }
        }
    }
    return spots;
}

// Loads every picture from beside the Markdown file and scales it to the
// column (or to half of it in a table cell), keeping its proportions.
// Returns false, with a message, when one cannot be read.
bool PlaceImages(QTextDocument& doc, const QDir& base, double columnPx) {
    const double cellPx = columnPx / 2.0 - 16.0;  // a picture beside another in a table row
    bool allFound = true;
    for (ImageSpot& spot : FindImages(doc)) {
        const QString name = spot.format.name();
        const QString path = base.absoluteFilePath(QUrl(name).path());
        QImageReader reader(path);
        const QImage image = reader.read();
        if (image.isNull()) {
            Fail(QStringLiteral("cannot read the picture %1 (%2)").arg(path, reader.errorString()));
            allFound = false;
            continue;
        }
        doc.addResource(QTextDocument::ImageResource, QUrl(name), image);
        QTextCursor cursor(&doc);
        cursor.setPosition(spot.position);
        const double room = cursor.currentTable() != nullptr ? cellPx : columnPx;
        const double width = qMin(room, double(image.width()));
        spot.format.setWidth(width);
        spot.format.setHeight(width * image.height() / image.width());
        cursor.setPosition(spot.position + spot.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(spot.format);
    }
    return allFound;
}

// Thin ruled tables that fill the column, with a shaded header row.
void StyleTables(QTextDocument& doc) {
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        QTextTable* table = cursor.currentTable();
        if (table == nullptr || cursor.position() != table->firstPosition()) {
            continue;
        }
        QTextTableFormat format = table->format();
        format.setBorder(0.5);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderBrush(QBrush(QColor(0x80, 0x80, 0x80)));
        format.setBorderCollapse(false);
        format.setCellSpacing(0);
        format.setCellPadding(3);
        format.setHeaderRowCount(1);  // repeated at the top of each page a table runs onto
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        format.setTopMargin(4);
        format.setBottomMargin(6);
        table->setFormat(format);
        for (int column = 0; column < table->columns(); ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextCharFormat cellFormat = cell.format();
            cellFormat.setBackground(QColor(0xe8, 0xec, 0xf0));
            cell.setFormat(cellFormat);
        }
    }
}

// Code blocks on a light grey ground with a little air around them, so that a
// command to type stands apart from the prose.
void StyleCodeBlocks(QTextDocument& doc) {
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        if (!format.hasProperty(QTextFormat::BlockCodeFence) &&
            !format.hasProperty(QTextFormat::BlockCodeLanguage)) {
            continue;
        }
        format.setBackground(QColor(0xf2, 0xf2, 0xf2));
        format.setLeftMargin(6);
        format.setRightMargin(6);
        QTextCursor cursor(block);
        cursor.setBlockFormat(format);
    }
}

// Each chapter starts on a new page, so that a chapter's heading never stands
// alone at the foot of a page.
void BreakBeforeChapters(QTextDocument& doc) {
    bool first = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() != 1) {
            continue;
        }
        if (!first) {
            QTextBlockFormat format = block.blockFormat();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(block).setBlockFormat(format);
        }
        first = false;
    }
}

// Lays the text out on the writer's own pages and prints them one by one,
// each with its number at the foot.
void PrintPages(QTextDocument& doc, QPdfWriter& writer) {
    const QRect paper = writer.pageLayout().paintRectPixels(writer.resolution());
    const double footer = kFooterMm / 25.4 * writer.resolution();
    const QSizeF body(paper.width(), paper.height() - footer);
    doc.setPageSize(body);
    QPainter painter(&writer);
    painter.setFont(doc.defaultFont());
    for (int page = 0; page < doc.pageCount(); ++page) {
        if (page > 0) {
            writer.newPage();
        }
        const QRectF shown(0, page * body.height(), body.width(), body.height());
        painter.save();
        painter.translate(0, -shown.top());
        doc.drawContents(&painter, shown);
        painter.restore();
        painter.drawText(QRectF(0, body.height(), body.width(), footer),
                         Qt::AlignRight | Qt::AlignBottom, QString::number(page + 1));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: tavlin_manual_pdf MANUAL.md OUTPUT.pdf\n");
        return 2;
    }
    const QString input = args.at(1);
    const QString output = args.at(2);

    QFile source(input);
    if (!source.open(QIODevice::ReadOnly)) {
        Fail(QStringLiteral("cannot read %1 (%2)").arg(input, source.errorString()));
        return 1;
    }
    const QString markdown = QString::fromUtf8(source.readAll());

    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly)) {
        Fail(QStringLiteral("cannot write %1 (%2)").arg(output, file.errorString()));
        return 1;
    }
    {
        QPdfWriter writer(&file);
        writer.setTitle(QStringLiteral("Tavlin analyzer: user manual"));
        writer.setCreator(QStringLiteral("tavlin_manual_pdf"));
        writer.setResolution(kResolutionDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                         QPageLayout::Millimeter));

        // The text is laid out for the writer itself, so that fonts, rules
        // and pictures come out in their true sizes on paper.
        QTextDocument doc;
        doc.documentLayout()->setPaintDevice(&writer);
        QFont body(QStringLiteral("DejaVu Sans"));
        body.setStyleHint(QFont::SansSerif);
        body.setPointSizeF(kBodyPointSize);
        doc.setDefaultFont(body);
        doc.setDocumentMargin(0);
        doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
        const double columnPx = writer.pageLayout().paintRectPixels(writer.resolution()).width() *
                                kCssDpi / writer.resolution();
        if (!PlaceImages(doc, QFileInfo(input).absoluteDir(), columnPx)) {
            return 1;  // the temporary file is dropped: no manual with holes
        }
        StyleTables(doc);
        StyleCodeBlocks(doc);
        BreakBeforeChapters(doc);
        PrintPages(doc, writer);
    }
    if (!file.commit()) {
        Fail(QStringLiteral("cannot write %1 (%2)").arg(output, file.errorString()));
        return 1;
    }
    return 0;
}
