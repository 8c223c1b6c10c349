// The source pane below the report: a checked file's text, read-only, with
// line numbers, the line of the finding in hand lit and the lines of the
// file's other findings marked in the margin. A binary property list shows
// as its JSON form, where the lines of its keys are looked up by key path.
#pragma once

#include "report/Finding.h"

#include <QHash>
#include <QList>
#include <QPlainTextEdit>
#include <QString>

namespace gui {

class SourcePane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit SourcePane(QWidget* parent = nullptr);

    // Shows path (read afresh when it is another file) with finding's line lit
    // and the lines of findings marked; false when the file cannot be read.
    bool showFinding(const QString& path, const report::Finding& finding, const QList<report::Finding>& findings);

    const QString& path() const { return mPath; }
    // The line lit (from 1), or 0.
    int litLine() const { return mLit; }
    // Whether the text is the JSON form of a binary file.
    bool showsTextForm() const { return mTextForm; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class LineMargin;
    int marginWidth() const;
    void paintMargin(QPaintEvent* event);
    // The line of a finding in the text shown (from 1), or 0.
    int lineOf(const report::Finding& finding) const;

    QWidget* mMargin;
    QString mPath;
    bool mTextForm = false;
    int mLit = 0;
    // The severest finding of each marked line.
    QHash<int, report::Severity> mMarks;
};

} // namespace gui
