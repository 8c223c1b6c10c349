// The RTFD writer, read back: TXT.rtf is parsed by a small RTF reader here
// (groups, control words, \u escapes, the font table, NeXTGraphic
// attachments), so the tests see what another program would see.
#include "check/RtfdWriter.h"
#include "check/CreateImageString.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>

using check::StyledString;
using check::TextStorage;

namespace {

struct ReadRun {
    QString text; // an attachment reads as U+FFFC
    bool bold = false;
    QString font;
    QString image; // the attachment's file, for an attachment
};

struct ReadDocument {
    QStringList fonts;
    QList<ReadRun> runs;
    QString text() const
    {
        QString all;
        for (const ReadRun& r : runs)
            all += r.text;
        return all;
    }
    QStringList images() const
    {
        QStringList names;
        for (const ReadRun& r : runs) {
            if (!r.image.isEmpty())
                names << r.image;
        }
        return names;
    }
};

// Reads the RTF that the writer produces (and any RTF of that shape).
ReadDocument readRtf(const QByteArray& rtf)
{
    struct State {
        bool bold = false;
        int font = 0;
        bool fontTable = false;
        bool graphic = false;
    };
    ReadDocument doc;
    QList<State> stack{State{}};
    QString pendingGraphic;
    QString fontName;
    int fontNumber = 0;
    int skip = 0;
    auto emitChar = [&](QChar c) {
        State& s = stack.last();
        if (s.fontTable) {
            if (c == QLatin1Char(';')) {
                while (doc.fonts.size() <= fontNumber)
                    doc.fonts.append(QString());
                doc.fonts[fontNumber] = fontName.trimmed();
                fontName.clear();
            } else {
                fontName += c;
            }
            return;
        }
        if (s.graphic) {
            pendingGraphic += c;
            return;
        }
        const QString font = doc.fonts.value(s.font);
        if (!doc.runs.isEmpty() && doc.runs.last().bold == s.bold && doc.runs.last().font == font &&
            doc.runs.last().image.isEmpty())
            doc.runs.last().text += c;
        else
            doc.runs.append(ReadRun{QString(c), s.bold, font, QString()});
    };
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '{') {
            stack.append(stack.last());
        } else if (c == '}') {
            if (stack.last().graphic) {
                // The graphic group ends; the character after it is the attachment.
                stack.removeLast();
                doc.runs.append(ReadRun{QString(QChar(0xFFFC)), false, QString(), pendingGraphic.trimmed()});
                pendingGraphic.clear();
                skip = 1;
                continue;
            }
            stack.removeLast();
        } else if (c == '\\') {
            ++i;
            if (i >= rtf.size())
                break;
            const char n = rtf[i];
            if (n == '\\' || n == '{' || n == '}') {
                emitChar(QLatin1Char(n));
            } else if (n == '\n') {
                emitChar(QLatin1Char('\n'));
            } else if (n == '\'') {
                const int value = rtf.mid(i + 1, 2).toInt(nullptr, 16);
                i += 2;
                if (skip > 0)
                    --skip;
                else
                    emitChar(QChar(value)); // cp1252's lower half is Latin-1
            } else {
                QByteArray word;
                while (i < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[i])))
                    word += rtf[i++];
                QByteArray number;
                while (i < rtf.size() && (rtf[i] == '-' || std::isdigit(static_cast<unsigned char>(rtf[i]))))
                    number += rtf[i++];
                if (i < rtf.size() && rtf[i] != ' ')
                    --i; // the delimiter belongs to what follows
                const int value = number.toInt();
                if (word == "fonttbl") {
                    stack.last().fontTable = true;
                } else if (word == "f") {
                    if (stack.last().fontTable)
                        fontNumber = value;
                    else
                        stack.last().font = value;
                } else if (word == "b") {
                    stack.last().bold = number.isEmpty() || value != 0;
                } else if (word == "plain") {
                    stack.last().bold = false;
                } else if (word == "par") {
                    emitChar(QLatin1Char('\n'));
                } else if (word == "tab") {
                    emitChar(QLatin1Char('\t'));
                } else if (word == "u") {
                    emitChar(QChar(static_cast<char16_t>(static_cast<qint16>(value))));
                    skip = 1;
                } else if (word == "NeXTGraphic") {
                    stack.last().graphic = true;
                } else if (word == "width" || word == "height" || word == "noorient") {
                    if (stack.last().graphic)
                        pendingGraphic += QLatin1Char(' ');
                }
                // Other words (rtf1, ansi, fs, pard, ...) do not change text or bold.
            }
        } else if (c == '\n' || c == '\r') {
            // Line breaks in RTF source are not text.
        } else if (skip > 0) {
            --skip;
        } else {
            emitChar(QLatin1Char(c));
        }
    }
    // Only the graphic's name, not the numbers after its size words.
    for (ReadRun& r : doc.runs)
        r.image = r.image.section(QLatin1Char(' '), 0, 0);
    return doc;
}

StyledString regular(const QString& text)
{
    return StyledString{text, check::FontDescription::userFontOfSize(14.0), nullptr};
}

StyledString bold(const QString& text)
{
    return StyledString{text, check::convertFontToHaveTrait(check::FontDescription::userFontOfSize(14.0), 2), nullptr};
}

StyledString icon(const QString& name, const QByteArray& bytes)
{
    auto attachment = std::make_shared<check::TextAttachment>(check::TextAttachment{name, bytes});
    return StyledString{QString(QChar(check::kAttachmentCharacter)), std::nullopt, attachment};
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(RtfdWriter, ReadBackKeepsTextBoldRunsFontsAndIconsInPlace)
{
    const auto error = check::CreateImageString(QStringLiteral("error16x16.png"));
    const auto warning = check::CreateImageString(QStringLiteral("warning16x16.png"));
    ASSERT_TRUE(error && warning);

    TextStorage report;
    const QList<StyledString> runs = {
        regular(QStringLiteral("Intro {braces} and \\ backslash\n")),
        regular(QStringLiteral("Checking ")),
        bold(QStringLiteral("Ünïcødé 😀.app")),
        regular(QStringLiteral("\n/tmp/x\n")),
        *error,
        regular(QStringLiteral(" ")),
        regular(QStringLiteral("tab\there\n")),
        *warning,
        regular(QStringLiteral(" ")),
        regular(QStringLiteral("second\n")),
        *error,
        regular(QStringLiteral(" again\n")),
    };
    for (const StyledString& run : runs)
        report.appendAttributedString(run);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Ostrel Log.rtfd"));
    QString why;
    ASSERT_TRUE(check::WriteRtfd(report, path, &why, QStringLiteral("Cantarell"))) << why.toStdString();

    // Each image once, byte for byte, beside the text.
    EXPECT_EQ(entries(path), QStringList({"TXT.rtf", "error16x16.png", "warning16x16.png"}));
    EXPECT_EQ(readAll(QDir(path).filePath("error16x16.png")), error->attachment->contents);
    EXPECT_EQ(readAll(QDir(path).filePath("warning16x16.png")), warning->attachment->contents);

    const ReadDocument doc = readRtf(readAll(QDir(path).filePath("TXT.rtf")));
    EXPECT_EQ(doc.fonts, QStringList({"Cantarell"}));
    EXPECT_EQ(doc.text(), report.string());
    EXPECT_EQ(doc.images(), QStringList({"error16x16.png", "warning16x16.png", "error16x16.png"}));
    QStringList boldTexts;
    for (const ReadRun& r : doc.runs) {
        if (r.bold)
            boldTexts << r.text;
    }
    EXPECT_EQ(boldTexts, QStringList({"Ünïcødé 😀.app"}));
}

TEST(RtfdWriter, FontTableNamesEachFamilyOnceAndFallsBackWithoutOne)
{
    struct Case {
        QString defaultFamily;
        QString boldFamily;
        QStringList fonts;
    } cases[] = {
        {QString(), QString(), {check::kRtfFallbackFamily}},
        {QStringLiteral("DejaVu Sans"), QString(), {"DejaVu Sans"}},
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Serif;Evil{}"), {"DejaVu Sans", "Serif Evil{}"}},
    };
    for (const Case& c : cases) {
        StyledString b = bold(QStringLiteral("B"));
        b.font->family = c.boldFamily;
        const QByteArray rtf = check::RtfFromRuns({regular("a"), b, regular("c")}, {}, c.defaultFamily);
        const ReadDocument doc = readRtf(rtf);
        EXPECT_EQ(doc.fonts, c.fonts) << rtf.constData();
        EXPECT_EQ(doc.text(), "aBc");
        ASSERT_EQ(doc.runs.size(), 3);
        EXPECT_EQ(doc.runs[1].font, c.fonts.last());
        EXPECT_TRUE(doc.runs[1].bold);
        EXPECT_FALSE(doc.runs[2].bold);
    }
}

TEST(RtfdWriter, AttachmentFilesAreSafeUniqueAndStoredOnce)
{
    const QByteArray png1 = "one";
    const QByteArray png2 = "two";
    const StyledString shared = icon("note16x16.png", png1);
    struct Case {
        QList<StyledString> runs;
        QStringList names; // in order of the runs' attachments
    } cases[] = {
        {{shared, shared, icon("note16x16.png", png1)}, {"note16x16.png", "note16x16.png", "note16x16.png"}},
        {{icon("x.png", png1), icon("x.png", png2), icon("x.png", png2)}, {"x.png", "x-2.png", "x-2.png"}},
        {{icon("../../evil.png", png1)}, {"evil.png"}},
        {{icon("TXT.rtf", png1)}, {"imageTXT.rtf"}},
        {{icon(".hidden", png1), icon("", png2)}, {"image.hidden", "image"}},
        {{icon("sp ace;{x}.png", png1)}, {"sp_ace__x_.png"}},
    };
    for (const Case& c : cases) {
        const auto names = check::AttachmentFileNames(c.runs);
        QStringList got;
        for (const StyledString& run : c.runs)
            got << names.value(run.attachment.get());
        EXPECT_EQ(got, c.names);
    }
}

TEST(RtfdWriter, ReplacesAnExistingDocumentWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Log.rtfd");
    TextStorage first;
    first.appendAttributedString(regular("first"));
    first.appendAttributedString(*check::CreateImageString("note16x16.png"));
    ASSERT_TRUE(check::WriteRtfd(first, path, nullptr));
    // A file left from an older document must not survive the replacement.
    QFile stray(QDir(path).filePath("stray.txt"));
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.close();

    TextStorage second;
    second.appendAttributedString(regular("second"));
    ASSERT_TRUE(check::WriteRtfd(second, path, nullptr));
    EXPECT_EQ(entries(path), QStringList({"TXT.rtf"}));
    EXPECT_EQ(readRtf(readAll(QDir(path).filePath("TXT.rtf"))).text(), "second");
    // Nothing is left beside it.
    EXPECT_EQ(entries(dir.path()), QStringList({"Log.rtfd"}));

    // A plain file of that name is replaced by the document as well.
    const QString filePath = dir.filePath("plain.rtfd");
    QFile plain(filePath);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ASSERT_TRUE(check::WriteRtfd(second, filePath + "/", nullptr));
    EXPECT_TRUE(QFileInfo(filePath).isDir());
}

TEST(RtfdWriter, FailuresSayWhyAndLeaveNothingBehind)
{
    QTemporaryDir dir;
    TextStorage report;
    report.appendAttributedString(regular("x"));
    QFile file(dir.filePath("a-file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString targets[] = {
        dir.filePath("missing/Log.rtfd"), // no such folder
        dir.filePath("a-file/Log.rtfd"),  // the folder is a file
        QStringLiteral("/proc/Log.rtfd"), // nothing can be made there
        QString(),
    };
    for (const QString& target : targets) {
        QString why;
        EXPECT_FALSE(check::WriteRtfd(report, target, &why)) << target.toStdString();
        EXPECT_FALSE(why.isEmpty()) << target.toStdString();
    }
    EXPECT_EQ(entries(dir.path()), QStringList({"a-file"}));
}

TEST(RtfdWriter, ReplaceAtomicallySwapsOrLeavesTheTargetAsItWas)
{
    enum Kind { None, File, Folder };
    struct Case {
        Kind built;
        Kind target;
        bool succeeds;
    } cases[] = {
        {File, None, true},     {Folder, None, true}, {File, File, true},
        {Folder, Folder, true}, {Folder, File, true}, {None, Folder, false},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString built = dir.filePath("built");
        const QString target = dir.filePath("target");
        auto make = [](Kind kind, const QString& path, const QByteArray& mark) {
            if (kind == File) {
                QFile f(path);
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                f.write(mark);
            } else if (kind == Folder) {
                ASSERT_TRUE(QDir().mkdir(path));
                QFile f(path + "/mark");
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                f.write(mark);
            }
        };
        make(c.built, built, "new");
        make(c.target, target, "old");
        QString why;
        EXPECT_EQ(check::ReplaceAtomically(built, target, &why), c.succeeds);
        const QString mark = QFileInfo(target).isDir() ? target + "/mark" : target;
        EXPECT_EQ(readAll(mark), c.succeeds ? QByteArray("new") : QByteArray("old"));
        EXPECT_EQ(why.isEmpty(), c.succeeds);
    }
}
