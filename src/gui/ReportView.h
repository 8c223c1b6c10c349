// The report's text view: read-only rich text that mirrors the report's runs,
// follows the end while the user is at the end, and copies icons as words.
#pragma once

#include "report/TextStorage.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <QTextImageFormat>
#include <QUrl>

#include <memory>

namespace gui {

class ReportView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);

    // The real font for a font the report asks for.
    static QFont fontFor(const report::FontDescription& description);

    // Appends runs at the end of the text, in one edit.
    void appendRuns(const QList<report::StyledString>& runs);
    // Removes all the text, so that the report can be shown afresh.
    void removeAll();

    // The image name under which an attachment is shown, and back.
    static QString imageName(const QString& attachmentFileName);

    // The icons' images by name, also for copies of the document (printing).
    Q_INVOKABLE QVariant loadResource(int type, const QUrl& name) override;

    // How an icon reads as text: "error:", "warning:", "note:".
    static QString iconLabel(const QString& imageName);

    // Lays out now what is otherwise laid out while the application idles
    // (the lines not shown), so that the scroll bar is exact.
    void layOutAll();
    bool isLaidOut() const { return mLaidOutBlocks >= document()->blockCount(); }
    // While the report grows fast (a batch), lines off the screen are laid out
    // a little every so often rather than whenever the application idles, so
    // that they do not hold up the growing.
    void setIdleLayoutInterval(int milliseconds) { mIdleLayoutInterval = milliseconds; }

    // A copy of the report for printing: laid out for pages, each icon as high
    // as the text and followed by its severity word.
    std::unique_ptr<QTextDocument> printDocument() const;

    // The text between two positions, each icon as its label.
    QString labelledText(int start, int end) const;
    QString labelledText() const;

protected:
    QMimeData* createMimeDataFromSelection() const override;

private:
    void layOutSome(int milliseconds);
    void scheduleLayout();
    static QString formatKey(const report::FontDescription& description);
    QTextCharFormat formatFor(const QString& key, const report::FontDescription& description);
    QTextImageFormat imageFormatFor(const report::TextAttachment& attachment);

    // Formats by font, made once: a report has two fonts and many runs.
    QHash<QString, QTextCharFormat> mFormats;
    QHash<QString, QTextImageFormat> mImageFormats;
    QHash<QUrl, QImage> mImages;
    int mLaidOutBlocks = 0;
    bool mLayoutScheduled = false;
    int mIdleLayoutInterval = 0;
};

} // namespace gui
