// The application controller: one for the desktop application and the command
// line alike. It opens and checks files, owns the fonts, icons, rules and
// validator, and is the report log that every check writes to. What it needs
// of a window it asks of a ReportWindow.
#pragma once

#include "app/ReportWindow.h"
#include "check/CheckSink.h"
#include "check/FindingFix.h"
#include "check/InlineSuppressions.h"
#include "check/PlistDataReader.h"
#include "check/PlistValidator.h"
#include "platform/ByteSource.h"
#include "platform/Error.h"
#include "plist/Parse.h"
#include "plist/Value.h"
#include "report/ReportText.h"
#include "report/TextStorage.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace check {
class ProductTree;
}

namespace app {

class OstrelAppDelegate : public check::CheckSink {
public:
    // Registers the defaults of the settings (all true); runs once however
    // often it is called. Stored values win over these.
    static void initialize();

    // Builds, in order: fonts, icons, rules, validator. Calls initialize().
    OstrelAppDelegate();
    ~OstrelAppDelegate() override;
    OstrelAppDelegate(const OstrelAppDelegate&) = delete;
    OstrelAppDelegate& operator=(const OstrelAppDelegate&) = delete;

    // Connects the window (not owned; it outlives the controller's use of it).
    // Must happen before awakeFromNib and before any report is written.
    void setWindow(ReportWindow* window);
    // The window is ready: the introduction becomes the report's first content.
    void awakeFromNib();

    // Opening files: by path (the platform's request), or the Open command.
    bool applicationOpenFile(const QString& path);
    void openFiles();
    // Runs openURL; a platform exception becomes a report line and false.
    bool safeOpenURL(const QUrl& url);
    // As safeOpenURL, for a property list read from standard input, reported
    // as name ("-": as standard input).
    bool safeCheckStandardInput(const QString& name = QStringLiteral("-"));
    // As safeOpenURL, for text that stands for the file at path but is not
    // saved there (an editor's): a bundle's Info.plist is checked with the
    // bundle's files on disk around it, any other file as a loose property list.
    bool safeCheckUnsaved(const QString& path, const QByteArray& bytes);
    // The report line of an exception that ended a check: the file's findings end with it.
    void appendCaughtException(const std::exception& e);
    // Checks one file or bundle directory; false when nothing could be read.
    bool openURL(const QUrl& url);
    // check::CheckSink: what the product walk and the checks below it write to.
    void appendHeading(const QString& name, const QString& pathRead) override;
    void appendReadError(const platform::Error& error) override;
    std::optional<plist::Value> checkPlistData(const QByteArray& bytes, std::uint32_t fileType, std::uint32_t creator,
                                               const QString& bundleName = QString()) override;
    // By the rules' section for privacy manifests and the checks beyond it.
    std::optional<plist::Value> checkPrivacyManifestData(const QByteArray& bytes) override;
    const plist::Value* requiredReasonTable() const override;
    void readFromSection() override { mReadFromSection = true; }
    void checkFileCreator(std::uint32_t creator, const plist::Dictionary& infoDict);
    void checkFileType(std::uint32_t fileType, const plist::Dictionary& infoDict);

    // Print and save commands.
    void printText();
    void printDidRun(bool success);
    void saveDocumentAs();
    void saveDone(int returnCode, const QUrl& url);

    // The report's text beside the findings: the format filled from the
    // arguments (formatMessage), in the regular font; a text in either font.
    void appendWithFormat(const QString& format, const check::FormatArgs& args);
    template <typename... Args> void appendFormat(const QString& format, const Args&... args)
    {
        appendWithFormat(format, check::FormatArgs{check::arg(args)...});
    }
    void appendBoldString(const QString& text);
    void appendString(const QString& text);
    // Appends a run to the end of the report unchanged.
    void appendAttributedString(const report::StyledString& run);

    // For the front ends and tests.
    const report::FontDescription& font() const { return mFont; }
    const report::FontDescription& boldFont() const { return mBoldFont; }
    const report::StyledString* noteIcon() const;
    const report::StyledString* warningIcon() const;
    const report::StyledString* errorIcon() const;
    const plist::Value* rulesDict() const;
    // The file the latest check read (for a bundle, the file inside it).
    const QUrl& urlRead() const { return mURLRead; }
    // Every file and bundle checked so far, as given and as read: no save may
    // replace them.
    const QStringList& checkedPaths() const { return mCheckedPaths; }
    // A checker that runs for long (an editor's) forgets them now and then.
    void forgetCheckedPaths() { mCheckedPaths.clear(); }
    // What checks for this window on other threads named and read.
    void addCheckedPaths(const QStringList& paths) { mCheckedPaths += paths; }
    // How many errors were found so far, those left out and ignored too.
    int errorCount() const { return mErrorCount; }
    // Findings this filter takes are taken out of the report as soon as they
    // end, and count toward no cap; the ignore list of the command line.
    void setIgnored(report::FindingFilter ignored) { mIgnored = std::move(ignored); }
    // What the files on disk are read through (none: as they are).
    void setReadThrough(check::ReadThrough through) { mReadThrough = std::move(through); }
    // How many findings it took so far.
    int ignoredCount() const { return mIgnoredCount; }

    // No file's report holds more findings than this; a closing note counts the rest.
    static constexpr int kMaxFindingsPerFile = 10000;

private:
    bool checkURL(const QUrl& url);
    // A property list that is no file of a bundle: headed by name, read by read.
    bool checkLoose(const QString& name, const QString& pathGiven, const QUrl& urlRead,
                    const std::function<check::PlistData()>& read);
    // A check's finding, placed where its key path stands in the file read.
    void recordFinding(report::Finding finding) override;
    // A whole record, placed: ignored, left out over the cap, or shown.
    void addPlacedFinding(report::Finding finding);
    // The files of the check under way, as the record names them.
    void setFiles(report::Finding& finding) const;
    // Appends the record and its line to the report (bare: see TextStorage::appendFinding).
    void showFinding(report::Finding finding, bool bare = false);
    // Ends a file's findings: the note of those left out, if any.
    void closeFindings();
    struct SharedResources;
    static std::shared_ptr<const SharedResources> sharedResources();
    // A note for each of the file's own suppressions that silenced nothing.
    void reportUnusedSuppressions();
    // The Info.plist of a bundle folder: where it is looked for, and what is there.
    struct ToRead {
        QUrl url;
        QString inside;        // its path in the bundle
        bool leadsOut = false; // a link on the way leads out of the bundle: it is not read
    };
    // The Info.plist of the bundle folder given (mPathGiven), looked for in its
    // tree; an empty URL when there is none.
    static ToRead infoPlistToRead(const QUrl& bundle, const check::ProductTree& tree);
    void reportDuplicateKeys(const QList<plist::DuplicateKey>& duplicates);
    // The findings of a parse: its error, its repeated keys, a top that is no
    // dictionary. True when there is a dictionary to check.
    bool reportParsed(const plist::ParseResult& parsed);
    report::Position positionOf(const QString& messageKey, const QString& keyPath) const;

    ReportWindow* oWindow = nullptr;
    report::TextStorage* oTextView = nullptr;
    report::FontDescription mFont;
    report::FontDescription mBoldFont;
    // The icons and rules, read once and shared by the controllers of every thread.
    std::shared_ptr<const SharedResources> mShared;
    std::unique_ptr<check::PlistValidator> mValidator;

    QUrl mURLRead;
    // The text of safeCheckUnsaved, read in place of the file at its path.
    struct Unsaved {
        QString path;
        QByteArray bytes;
    };
    std::optional<Unsaved> mUnsaved;
    // The paths of the check under way, for its findings' records.
    QString mPathGiven;
    QString mPathRead;
    bool mInResource = false; // the file read is a 'plst' resource
    // Where the values of the property list read last stand, kept until the
    // next heading: the checks of a bundle against its files come after the
    // dictionary's own and point into the same file.
    std::optional<plist::Positions> mPositions;
    // The bytes the positions point into, and their format: what fixes are made from.
    check::FixSource mFixSource;
    bool mReadFromSection = false;
    QStringList mCheckedPaths;
    int mFindingsInFile = 0;
    int mFindingsLeftOut = 0;
    report::FindingFilter mIgnored;
    check::ReadThrough mReadThrough;
    int mIgnoredCount = 0;
    // Those in the text of the file read last, until the next heading.
    QList<check::InlineSuppression> mSuppressions;
    report::Severity mGravestLeftOut = report::Severity::Note;
    int mErrorCount = 0;
};

// What the main loop does with each command: runs it, and logs an exception
// that escapes it (name and reason) instead of ending the program.
void PerformCommand(const std::function<void()>& command);

} // namespace app
