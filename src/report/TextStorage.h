// The report model: a text made of styled runs (regular, bold, icon), and the
// findings it shows as records. The desktop window mirrors it into a
// QTextDocument; the command line prints it; the RTFD writer saves it.
#pragma once

#include "report/Finding.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace report {

// A font as the report asks for it. An empty family means the desktop's
// default font for user text; the window resolves it to a real font.
struct FontDescription {
    QString family;
    double pointSize = 14.0;
    bool bold = false;

    // The default font for user text at the given size.
    static FontDescription userFontOfSize(double size) { return FontDescription{QString(), size, false}; }
    bool operator==(const FontDescription&) const = default;
};

// Font traits, as the font manager takes them.
constexpr unsigned kBoldFontMask = 2;

// The font with the given trait added (only bold is known).
FontDescription convertFontToHaveTrait(const FontDescription& font, unsigned trait);

// An image file held by the text, kept with its name so that a saved report
// can carry the image along.
struct TextAttachment {
    QString fileName;    // "error16x16.png"
    QByteArray contents; // the file's bytes (PNG)
};

// The character that stands for an attachment in the text.
constexpr char16_t kAttachmentCharacter = 0xFFFC;

// One run: text with either a font or an attachment.
struct StyledString {
    enum class Kind { Regular, Bold, Icon };

    QString text;
    std::optional<FontDescription> font;              // none for an icon run
    std::shared_ptr<const TextAttachment> attachment; // set only for an icon run

    Kind kind() const
    {
        if (attachment)
            return Kind::Icon;
        return font && font->bold ? Kind::Bold : Kind::Regular;
    }
};

// The report's text storage: it only grows. An observer (the window's view)
// is told of every run as it is appended.
class TextStorage {
public:
    using Observer = std::function<void(const StyledString&)>;

    void appendAttributedString(const StyledString& run);

    const QList<StyledString>& runs() const { return mRuns; }
    qsizetype length() const { return mLength; } // in UTF-16 code units
    // The plain text: each icon shows as U+FFFC.
    QString string() const;

    // Appends the runs [firstRun, endRun) of another report and the findings
    // among them (from firstFinding on), as if they had been written here.
    void appendReport(const TextStorage& other, qsizetype firstRun, qsizetype endRun, qsizetype firstFinding);

    void setObserver(Observer observer) { mObserver = std::move(observer); }
    // Forgets the text and the findings, for a reader that has taken them.
    void clear();

    // Appends a finding and its line, rendered from the record: the icon (when
    // there is one) and a blank, the place ("line 19: ") when the record has a
    // line and is no resource's, its text, its ID (" [KeyTypo]") and a line
    // end, all in the font given but the icon. A bare line (the guard's) has
    // neither icon, blank nor line end. The record's runs are all of these.
    void appendFinding(Finding finding, const FontDescription& font, const StyledString* icon, bool bare = false);

    const QList<Finding>& findings() const { return mFindings; }
    // The finding whose runs hold this run, or null.
    const Finding* findingOfRun(qsizetype run) const;

private:
    void appendRun(const StyledString& run);

    QList<StyledString> mRuns;
    qsizetype mLength = 0;
    Observer mObserver;
    QList<Finding> mFindings;
};

} // namespace report
