#include "gui/ReportView.h"

#include <QFontDatabase>
#include <QImage>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextImageFormat>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace gui {

static const QString kImageScheme = QStringLiteral("ostrel-icon:");

ReportView::ReportView(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    document()->setDocumentMargin(10);
    QScrollBar* bar = verticalScrollBar();
    // Following the end is the view's own affair: the report only appends.
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) { mFollowEnd = value >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (mFollowEnd)
            bar->setValue(maximum);
    });
}

QFont ReportView::fontFor(const check::FontDescription& description)
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

QString ReportView::formatKey(const check::FontDescription& description)
{
    return description.family + QLatin1Char('/') + QString::number(description.pointSize) +
           (description.bold ? QLatin1String("/b") : QLatin1String("/r"));
}

QTextCharFormat ReportView::formatFor(const QString& key, const check::FontDescription& description)
{
    auto it = mFormats.constFind(key);
    if (it != mFormats.constEnd())
        return *it;
    QTextCharFormat format;
    format.setFont(fontFor(description), QTextCharFormat::FontPropertiesAll);
    mFormats.insert(key, format);
    return format;
}

QTextImageFormat ReportView::imageFormatFor(const check::TextAttachment& attachment)
{
    const QString name = imageName(attachment.fileName);
    auto it = mImageFormats.constFind(name);
    if (it != mImageFormats.constEnd())
        return *it;
    const QImage image = QImage::fromData(attachment.contents);
    document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
    QTextImageFormat format;
    format.setName(name);
    if (!image.isNull()) {
        format.setWidth(image.width() / image.devicePixelRatio());
        format.setHeight(image.height() / image.devicePixelRatio());
    }
    format.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    mImageFormats.insert(name, format);
    return format;
}

void ReportView::appendRuns(const QList<check::StyledString>& runs)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    // Neighbouring runs in one font go in as one piece of text.
    QString text;
    std::optional<check::FontDescription> current;
    QTextCharFormat format;
    auto insertText = [&] {
        if (!text.isEmpty())
            cursor.insertText(text, format);
        text.clear();
    };
    for (const check::StyledString& run : runs) {
        if (run.attachment) {
            insertText();
            cursor.insertImage(imageFormatFor(*run.attachment));
            continue;
        }
        const check::FontDescription font = run.font.value_or(check::FontDescription::userFontOfSize(14.0));
        if (font != current) {
            insertText();
            current = font;
            format = formatFor(formatKey(font), font);
        }
        text += run.text;
    }
    insertText();
    cursor.endEditBlock();
}

QString ReportView::labelledText() const
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    return labelledText(0, cursor.position());
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

QMimeData* ReportView::createMimeDataFromSelection() const
{
    // Icons travel as the words the command line uses, not as U+FFFC.
    const QTextCursor selection = textCursor();
    auto* data = new QMimeData;
    data->setText(labelledText(selection.selectionStart(), selection.selectionEnd()));
    return data;
}

} // namespace gui
