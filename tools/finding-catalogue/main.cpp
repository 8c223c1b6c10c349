// Compiles the catalogue of findings, resources/findings.plist, into the forms
// the programs and the documentation use: a header with an enumeration of
// the IDs (a misspelt ID does not compile), a table of the entries with their
// texts rendered as plain text and as Markdown, and the page docs/findings.md.
// Run by the build:
//   make-finding-catalogue FINDINGS STRINGS HEADER SOURCE MARKDOWN
// STRINGS is the strings table, whose text of each ID the entries quote.
#include "plist/Parse.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Entry {
    QString id;
    QString severity;
    QString title;
    QString report; // what the report says, its arguments as "…"
    QString means;
    QString matters;
    QString fix;
    QString before;
    QString after;
    QString controls;
    QString autofix; // what --fix does, for an ID with a mechanical fix
};

// The one failure of a run: the catalogue (or a file) is wrong.
[[noreturn]] void fail(const QString& what)
{
    std::fprintf(stderr, "make-finding-catalogue: %s\n", what.toLocal8Bit().constData());
    std::exit(1);
}

plist::Value readPlist(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    plist::ParseResult parsed = plist::parse(file.readAll());
    if (!parsed.ok())
        fail(QStringLiteral("%1: %2").arg(path, parsed.errorText()));
    if (!parsed.value->isDictionary())
        fail(QStringLiteral("%1 holds no dictionary").arg(path));
    return std::move(*parsed.value);
}

// A message of the strings table as a reader sees it: "…" for each argument.
QString reportText(const QString& format)
{
    static const QRegularExpression placeholder(QStringLiteral("%(\\d+\\$)?[@d]"));
    QString text = format;
    text.replace(placeholder, QStringLiteral("…"));
    return text.replace(QStringLiteral("%%"), QStringLiteral("%")).trimmed();
}

std::vector<Entry> readEntries(const QString& findingsPath, const QString& stringsPath)
{
    const plist::Value catalogue = readPlist(findingsPath);
    const plist::Value strings = readPlist(stringsPath);
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z][A-Za-z0-9]*$"));
    static const QStringList kFields{"severity", "title",  "report", "means",    "matters",
                                     "fix",      "before", "after",  "controls", "autofix"};
    static const QStringList kSeverities{"error", "warning", "note"};
    std::vector<Entry> entries;
    const plist::Dictionary& all = catalogue.toDictionary();
    for (int i = 0; i < all.size(); ++i) {
        const QString& id = all.keyAt(i);
        const auto wrong = [&](const QString& what) { fail(QStringLiteral("%1: %2: %3").arg(findingsPath, id, what)); };
        if (!identifier.match(id).hasMatch())
            wrong(QStringLiteral("an ID must be letters and digits"));
        if (!all.valueAt(i).isDictionary())
            wrong(QStringLiteral("the entry is no dictionary"));
        const plist::Dictionary& fields = all.valueAt(i).toDictionary();
        for (const QString& field : fields.keys())
            if (!kFields.contains(field) || !fields.find(field)->isString())
                wrong(QStringLiteral("%1 is no field of an entry, or no string").arg(field));
        const auto field = [&](const char* name, bool required) {
            const plist::Value* value = fields.find(QLatin1String(name));
            if (!value && required)
                wrong(QStringLiteral("no %1").arg(QLatin1String(name)));
            return value ? value->toString().trimmed() : QString();
        };
        Entry entry{id,
                    field("severity", true),
                    field("title", true),
                    field("report", false),
                    field("means", true),
                    field("matters", true),
                    field("fix", true),
                    field("before", false),
                    field("after", false),
                    field("controls", true),
                    field("autofix", false)};
        if (!kSeverities.contains(entry.severity))
            wrong(QStringLiteral("the severity must be error, warning or note"));
        if (entry.before.isEmpty() != entry.after.isEmpty())
            wrong(QStringLiteral("an example needs both before and after"));
        if (entry.report.isEmpty()) {
            const plist::Value* text = strings.toDictionary().find(id);
            if (!text || !text->isString())
                wrong(QStringLiteral("the strings table has no text for it, and the entry gives no report"));
            entry.report = reportText(text->toString());
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

QString indented(const QString& lines, const QString& indent)
{
    QStringList out = lines.split(QLatin1Char('\n'));
    for (QString& line : out)
        line.prepend(indent);
    return out.join(QLatin1Char('\n'));
}

QString ignoring(const Entry& entry)
{
    return QStringLiteral("Like every finding, it is left out with `--ignore %1` (or `--ignore %1:KEYPATH` for one "
                          "place), or a line `%1` in `.ostrel-ignore`.")
        .arg(entry.id);
}

// As `ostrel-check --explain ID` prints it (wrapped to the terminal), and the
// plain help of a SARIF rule: paragraphs of one line, the example indented.
QString plainText(const Entry& e)
{
    QStringList parts{
        QStringLiteral("%1 (%2): %3").arg(e.id, e.severity, e.title),
        QStringLiteral("The report says: ") + e.report,
        QStringLiteral("What it means: ") + e.means,
        QStringLiteral("Why it matters: ") + e.matters,
        QStringLiteral("How to fix it: ") + e.fix,
    };
    if (!e.before.isEmpty())
        parts.append(QStringLiteral("  Before:\n%1\n  After:\n%2")
                         .arg(indented(e.before, QStringLiteral("    ")), indented(e.after, QStringLiteral("    "))));
    if (!e.autofix.isEmpty())
        parts.append(QStringLiteral("What --fix does: ") + e.autofix);
    parts.append(QStringLiteral("On and off: ") + e.controls + QLatin1Char(' ') + ignoring(e));
    return parts.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}

// The body of the entry's section, without its heading: also the help of a SARIF rule.
QString markdown(const Entry& e)
{
    QStringList parts{
        QStringLiteral("**Severity:** %1").arg(e.severity), QStringLiteral("The report says:\n\n> %1").arg(e.report),
        QStringLiteral("**What it means.** ") + e.means,    QStringLiteral("**Why it matters.** ") + e.matters,
        QStringLiteral("**How to fix it.** ") + e.fix,
    };
    // Most examples are XML; those of strings files are not.
    const auto block = [](const QString& code) {
        return QStringLiteral("```%1\n%2\n```").arg(code.startsWith(QLatin1Char('<')) ? "xml" : "", code);
    };
    if (!e.before.isEmpty())
        parts.append(QStringLiteral("Before:\n\n%1\n\nAfter:\n\n%2").arg(block(e.before), block(e.after)));
    if (!e.autofix.isEmpty())
        parts.append(QStringLiteral("**What `--fix` does.** ") + e.autofix);
    parts.append(QStringLiteral("**On and off.** ") + e.controls + QLatin1Char(' ') + ignoring(e));
    return parts.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}

QString page(const std::vector<Entry>& entries)
{
    QString text = QStringLiteral(
        "# Findings\n\n"
        "<!-- Made from resources/findings.plist by tools/finding-catalogue; edit that file, then run\n"
        "     cmake --build BUILD --target findings-doc -->\n\n"
        "Each finding of Ostrel carries one of the IDs below. `ostrel-check --format gnu` shows it after the "
        "message, `ostrel-check --explain ID` prints its section in the terminal, `ostrel-check --list-findings` "
        "lists them all, and `--ignore ID` leaves its findings out. The severity is the one the finding has "
        "unless this page says otherwise.\n\n"
        "| ID | Severity | Title |\n|---|---|---|\n");
    for (const Entry& e : entries)
        text += QStringLiteral("| [%1](#%1) | %2 | %3 |\n").arg(e.id, e.severity, e.title);
    for (const Entry& e : entries)
        text += QStringLiteral("\n<a id=\"%1\"></a>\n\n## %1: %2\n\n").arg(e.id, e.title) + markdown(e);
    return text;
}

// A C++ string literal of any text the catalogue holds.
QString literal(const QString& text)
{
    static const QString kEnd = QStringLiteral(")ostrel\"");
    if (text.contains(kEnd))
        fail(QStringLiteral("a text holds %1").arg(kEnd));
    return QStringLiteral("R\"ostrel(") + text + kEnd;
}

QString header(const std::vector<Entry>& entries)
{
    QString text = QStringLiteral(
        "// Made from resources/findings.plist by make-finding-catalogue: edit that file, not this one.\n"
        "#pragma once\n\n#include <string_view>\n\nnamespace report {\n\n"
        "// The ID of each finding the program can report.\nenum class FindingId : unsigned char {\n");
    for (const Entry& e : entries)
        text += QStringLiteral("    %1,\n").arg(e.id);
    text += QStringLiteral("};\n\ninline constexpr int kFindingIdCount = %1;\n\n"
                           "// The names, in the order of the enumeration.\n"
                           "inline constexpr std::string_view kFindingIdNames[kFindingIdCount] = {\n")
                .arg(entries.size());
    for (const Entry& e : entries)
        text += QStringLiteral("    \"%1\",\n").arg(e.id);
    text += QStringLiteral("};\n\n// \"Not4Char\" for FindingId::Not4Char.\n"
                           "constexpr std::string_view nameOf(FindingId id)\n{\n"
                           "    return kFindingIdNames[static_cast<int>(id)];\n}\n\n} // namespace report\n");
    return text;
}

QString source(const std::vector<Entry>& entries)
{
    static const QStringList kSeverityNames{"Error", "Warning", "Note"};
    QString text = QStringLiteral(
        "// Made from resources/findings.plist by make-finding-catalogue: edit that file, not this one.\n"
        "#include \"report/FindingCatalogue.h\"\n\nnamespace report {\n\n"
        "const FindingEntry kFindingEntries[kFindingIdCount] = {\n");
    for (const Entry& e : entries) {
        const QString severity = kSeverityNames[QStringList{"error", "warning", "note"}.indexOf(e.severity)];
        text += QStringLiteral("    {FindingId::%1, Severity::%2,\n     %3,\n     %4,\n     %5,\n     %6},\n")
                    .arg(e.id, severity, literal(e.title), literal(e.means + QLatin1Char(' ') + e.matters),
                         literal(plainText(e)), literal(markdown(e)));
    }
    return text + QStringLiteral("};\n\n} // namespace report\n");
}

// Written only when it changed, so that what depends on it is not built again.
void write(const QString& path, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    QFile old(path);
    if (old.open(QIODevice::ReadOnly) && old.readAll() == bytes)
        return;
    old.close();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: make-finding-catalogue FINDINGS STRINGS HEADER SOURCE MARKDOWN\n");
        return 2;
    }
    const std::vector<Entry> entries = readEntries(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    if (entries.empty() || entries.size() > 255)
        fail(QStringLiteral("the catalogue holds %1 entries").arg(entries.size()));
    write(QString::fromLocal8Bit(argv[3]), header(entries));
    write(QString::fromLocal8Bit(argv[4]), source(entries));
    write(QString::fromLocal8Bit(argv[5]), page(entries));
    return 0;
}
