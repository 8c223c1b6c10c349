#include "gui/ReportView.h"

#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextImageFormat>
#include <QTextLayout>
#include <QTextObjectInterface>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <optional>

namespace gui {

namespace {

// Draws the report's icons in the text, centred on the line like the text's
// own middle; the plain-text layout only lays out what is shown.
class IconLayout : public QPlainTextDocumentLayout {
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

protected:
    void resizeInlineObject(QTextInlineObject item, int, const QTextFormat& format) override
    {
        const QTextImageFormat image = format.toImageFormat();
        const QFontMetricsF metrics(image.font());
        const qreal height = image.height();
        const qreal middle = (metrics.ascent() - metrics.descent()) / 2;
        item.setWidth(image.width());
        item.setAscent(height / 2 + middle);
        item.setDescent(height / 2 - middle);
    }
    void positionInlineObject(QTextInlineObject, int, const QTextFormat&) override {}
    void drawInlineObject(QPainter* painter, const QRectF& rect, QTextInlineObject, int,
                          const QTextFormat& format) override
    {
        const QImage image =
            document()->resource(QTextDocument::ImageResource, QUrl(format.toImageFormat().name())).value<QImage>();
        if (!image.isNull())
            painter->drawImage(rect, image);
    }
};

// Draws the icons where the text is laid out by the rich-text layout, as
// when it is printed: as high as the line's text on the paint device (a
// printer's pixels are far smaller than the screen's), scaled once per size.
class IconHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    using QObject::QObject;
    QSizeF intrinsicSize(QTextDocument* document, int, const QTextFormat& format) override
    {
        const QTextImageFormat image = format.toImageFormat();
        QPaintDevice* device = document->documentLayout()->paintDevice();
        if (!device)
            return QSizeF(image.width(), image.height());
        const qreal side = QFontMetricsF(image.font(), device).height();
        return QSizeF(side, side);
    }
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int,
                    const QTextFormat& format) override
    {
        const QString name = format.toImageFormat().name();
        const QSize size = rect.size().toSize();
        const QString key = name + QLatin1Char('@') + QString::number(size.width());
        auto it = mScaled.constFind(key);
        if (it == mScaled.constEnd()) {
            const QImage image = document->resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
            if (image.isNull())
                return;
            // One image per size, so that a PDF holds each icon once.
            it = mScaled.insert(key, image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        }
        painter->drawImage(rect.topLeft(), *it);
    }

private:
    QHash<QString, QImage> mScaled;
};

} // namespace

static const QString kImageScheme = QStringLiteral("ostrel-icon:");

ReportView::ReportView(QWidget* parent) : QPlainTextEdit(parent)
{
    // The layout goes in before the document is handed to the view, which
    // connects to it.
    auto* report = new QTextDocument(this);
    auto* layout = new IconLayout(report);
    layout->registerHandler(QTextFormat::ImageObject, new IconHandler(layout));
    report->setDocumentLayout(layout);
    setDocument(report);
    setReadOnly(true);
    setUndoRedoEnabled(false);
    document()->setDocumentMargin(10);
}

QFont ReportView::fontFor(const report::FontDescription& description)
{
    QFont font = description.family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont)
                                              : QFont(description.family);
    if (description.pointSize > 0)
        font.setPointSizeF(description.pointSize);
    font.setBold(description.bold);
    // Latin report text reads the same without ligatures and kerning, and lays
    // out much faster; scripts that need shaping still get it.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

QString ReportView::imageName(const QString& attachmentFileName)
{
    return kImageScheme + attachmentFileName;
}

QString ReportView::iconLabel(const QString& imageName)
{
    QString name = imageName.startsWith(kImageScheme) ? imageName.mid(kImageScheme.size()) : imageName;
    if (name.startsWith(QLatin1String("error")))
        return QStringLiteral("error:");
    if (name.startsWith(QLatin1String("warning")))
        return QStringLiteral("warning:");
    if (name.startsWith(QLatin1String("note")))
        return QStringLiteral("note:");
    return QStringLiteral("*");
}

QString ReportView::formatKey(const report::FontDescription& description)
{
    return description.family + QLatin1Char('/') + QString::number(description.pointSize) +
           (description.bold ? QLatin1String("/b") : QLatin1String("/r"));
}

QTextCharFormat ReportView::formatFor(const QString& key, const report::FontDescription& description)
{
    auto it = mFormats.constFind(key);
    if (it != mFormats.constEnd())
        return *it;
    QTextCharFormat format;
    format.setFont(fontFor(description), QTextCharFormat::FontPropertiesAll);
    mFormats.insert(key, format);
    return format;
}

QVariant ReportView::loadResource(int type, const QUrl& name)
{
    if (type == QTextDocument::ImageResource && mImages.contains(name))
        return mImages.value(name);
    return QPlainTextEdit::loadResource(type, name);
}

QTextImageFormat ReportView::imageFormatFor(const report::TextAttachment& attachment)
{
    const QString name = imageName(attachment.fileName);
    auto it = mImageFormats.constFind(name);
    if (it != mImageFormats.constEnd())
        return *it;
    const QImage image = QImage::fromData(attachment.contents);
    document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
    mImages.insert(QUrl(name), image);
    QTextImageFormat format;
    format.setName(name);
    if (!image.isNull()) {
        format.setWidth(image.width() / image.devicePixelRatio());
        format.setHeight(image.height() / image.devicePixelRatio());
    }
    format.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    // The line's font, by which the icon is centred.
    format.setFont(fontFor(report::FontDescription::userFontOfSize(14.0)));
    mImageFormats.insert(name, format);
    return format;
}

void ReportView::appendRuns(const QList<report::StyledString>& runs)
{
    // Following the end is the view's own affair: the report only appends.
    // A report that still fits is read from the top, and stays there.
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->maximum() > 0 && bar->value() >= bar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    // Neighbouring runs in one font go in as one piece of text.
    QString text;
    std::optional<report::FontDescription> current;
    QTextCharFormat format;
    auto insertText = [&] {
        if (!text.isEmpty())
            cursor.insertText(text, format);
        text.clear();
    };
    for (const report::StyledString& run : runs) {
        if (run.attachment) {
            insertText();
            cursor.insertImage(imageFormatFor(*run.attachment));
            continue;
        }
        const report::FontDescription font = run.font.value_or(report::FontDescription::userFontOfSize(14.0));
        if (font != current) {
            insertText();
            current = font;
            format = formatFor(formatKey(font), font);
        }
        text += run.text;
    }
    insertText();
    cursor.endEditBlock();
    if (atEnd)
        bar->setValue(bar->maximum());
    scheduleLayout();
}

void ReportView::removeAll()
{
    // Not QTextDocument::clear(): that would drop the icons' images, which
    // copies of the document (printing) take along.
    QTextCursor cursor(document());
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    mLaidOutBlocks = 0;
}

// The plain-text layout lays out the lines on the screen only, and counts a
// block it has not laid out as one line. The rest is laid out a little at a
// time while the application idles, so the scroll bar comes to be exact
// without holding up a long batch.
void ReportView::scheduleLayout()
{
    if (mLayoutScheduled)
        return;
    mLayoutScheduled = true;
    QTimer::singleShot(mIdleLayoutInterval, this, [this] {
        mLayoutScheduled = false;
        layOutSome(10);
    });
}

void ReportView::layOutSome(int milliseconds)
{
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    QElapsedTimer elapsed;
    elapsed.start();
    QTextBlock block = document()->findBlockByNumber(mLaidOutBlocks);
    for (; block.isValid(); block = block.next(), ++mLaidOutBlocks) {
        if (milliseconds >= 0 && elapsed.elapsed() >= milliseconds)
            break;
        layout->blockBoundingRect(block);
    }
    // The line count changed under the scroll bar; have it measured again,
    // staying at the end if the view was there.
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->maximum() > 0 && bar->value() >= bar->maximum();
    emit layout->documentSizeChanged(layout->documentSize());
    if (atEnd)
        bar->setValue(bar->maximum());
    if (block.isValid())
        scheduleLayout();
}

void ReportView::layOutAll()
{
    layOutSome(-1);
}

QString ReportView::labelledText() const
{
    // Fragment by fragment; a whole text needs no positions.
    QString text;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin())
            text += QLatin1Char('\n');
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat())
                text += iconLabel(format.toImageFormat().name()).repeated(fragment.length());
            else
                text += fragment.text();
        }
    }
    return text;
}

QString ReportView::labelledText(int start, int end) const
{
    // The raw text has U+FFFC where an image stands and U+2029 between blocks.
    const QString raw = document()->toRawText();
    start = std::clamp(start, 0, static_cast<int>(raw.size()));
    end = std::clamp(end, start, static_cast<int>(raw.size()));
    QString text;
    text.reserve(end - start);
    QTextCursor cursor(document());
    for (int i = start; i < end; ++i) {
        const QChar c = raw[i];
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
            text += QLatin1Char('\n');
        } else if (c == QChar::ObjectReplacementCharacter) {
            cursor.setPosition(i + 1);
            const QTextCharFormat format = cursor.charFormat();
            text += format.isImageFormat() ? iconLabel(format.toImageFormat().name()) : QString(c);
        } else {
            text += c;
        }
    }
    return text;
}

std::unique_ptr<QTextDocument> ReportView::printDocument() const
{
    // The rich-text layout paginates; the icons' handler goes along, and each
    // icon gets its severity word, which a page in black and white still shows.
    std::unique_ptr<QTextDocument> copy(document()->clone(const_cast<ReportView*>(this)));
    copy->documentLayout()->registerHandler(QTextFormat::ImageObject, new IconHandler(copy.get()));
    QTextCursor cursor(copy.get());
    const QString raw = copy->toRawText();
    // From the end, so that the positions before stay as they are.
    for (qsizetype i = raw.size() - 1; i >= 0; --i) {
        if (raw[i] != QChar::ObjectReplacementCharacter)
            continue;
        cursor.setPosition(static_cast<int>(i) + 1);
        const QTextCharFormat format = cursor.charFormat();
        if (!format.isImageFormat())
            continue;
        QTextCharFormat wordFormat;
        QFont font = format.font();
        font.setBold(true);
        wordFormat.setFont(font);
        cursor.insertText(QLatin1Char(' ') + iconLabel(format.toImageFormat().name()), wordFormat);
    }
    return copy;
}

QMimeData* ReportView::createMimeDataFromSelection() const
{
    // Icons travel as the words the command line uses, not as U+FFFC.
    const QTextCursor selection = textCursor();
    auto* data = new QMimeData;
    data->setText(labelledText(selection.selectionStart(), selection.selectionEnd()));
    return data;
}

} // namespace gui

#include "ReportView.moc"
