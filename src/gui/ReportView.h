// The report's text view: read-only rich text that mirrors the report's runs,
// follows the end while the user is at the end, and copies icons as words.
#pragma once

#include "check/TextStorage.h"

#include <QFont>
#include <QHash>
#include <QTextCharFormat>
#include <QTextEdit>
#include <QTextImageFormat>

namespace gui {

class ReportView : public QTextEdit {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);

    // The real font for a font the report asks for.
    static QFont fontFor(const check::FontDescription& description);

    // Appends runs at the end of the text, in one edit.
    void appendRuns(const QList<check::StyledString>& runs);

    // The image name under which an attachment is shown, and back.
    static QString imageName(const QString& attachmentFileName);

    // How an icon reads as text: "error:", "warning:", "note:".
    static QString iconLabel(const QString& imageName);

    // The text between two positions, each icon as its label.
    QString labelledText(int start, int end) const;
    QString labelledText() const;

protected:
    QMimeData* createMimeDataFromSelection() const override;

private:
    static QString formatKey(const check::FontDescription& description);
    QTextCharFormat formatFor(const QString& key, const check::FontDescription& description);
    QTextImageFormat imageFormatFor(const check::TextAttachment& attachment);

    bool mFollowEnd = true;
    // Formats by font, made once: a report has two fonts and many runs.
    QHash<QString, QTextCharFormat> mFormats;
    QHash<QString, QTextImageFormat> mImageFormats;
};

} // namespace gui
