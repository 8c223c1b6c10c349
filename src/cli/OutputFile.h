// -o FILE: the report goes to a file that takes the place of FILE only once
// it is whole. It is written unnamed beside FILE (or, where the file system
// cannot, under a hidden name that goes away on failure), so a run that is
// cut short leaves FILE as it was.
#pragma once

#include "report/SaveTarget.h"

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace cli {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Points standard output at a new file beside path; why it cannot (a
    // target that is no regular file, or is being checked), or an empty string.
    QString open(const QString& path, const QStringList& checkedPaths);
    // Puts what standard output holds in place of the target, once flushed;
    // the reason it could not, or an empty string.
    QString commit();
    // Takes away what was written; the target stays as it was.
    void discard();

private:
    QString mTarget;
    QString mNamed; // the hidden name, where the file has one
    int mFd = -1;
    ino_t mInode = 0;
    report::JudgedTarget mJudged;
};

} // namespace cli
