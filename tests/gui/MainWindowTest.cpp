// The window on Qt's offscreen platform: built from its description, its
// settings, and the roads by which files arrive.
#include "Support.h"

#include "CaseRows.h"

#include "app/HeadlessWindow.h"
#include "gui/MainWindow.h"
#include "gui/ReportView.h"
#include "gui/SourcePane.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "report/ReportText.h"

#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <fstream>

using gui::MainWindow;
using namespace testsupport;

namespace {

// What the window adds to each heading: its counts.
const QString kSummary = QStringLiteral("  —  ");

// The view's text without the headings' counts: what the command line prints.
QString withoutSummaries(QString text)
{
    return text.remove(QRegularExpression(kSummary + QStringLiteral("[^\n]*")));
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { useFreshSettings(); }

    // The report as the view shows it, icons as words.
    static QString shown(MainWindow& window)
    {
        window.flushReport();
        return window.textView()->labelledText();
    }

    // The headings' display names, in the order the view shows them.
    static QStringList checkedNames(MainWindow& window)
    {
        QStringList names;
        for (const QString& line : shown(window).split(QLatin1Char('\n'))) {
            const QString prefix = platform::Bundle::main().localizedString(QStringLiteral("CheckingPrefix"));
            if (line.startsWith(prefix))
                names << line.mid(prefix.size()).section(kSummary, 0, 0);
        }
        return names;
    }

    QTemporaryDir mDir;
};

// An example of examples/.
QString example(const char* name)
{
    return qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/examples/") + QLatin1String(name);
}

// A file of tests/data/window.
QString windowFile(const QString& name)
{
    return qEnvironmentVariable("OSTREL_TEST_DATA") + QStringLiteral("/window/") + name;
}

// Opens paths and waits until every one is checked and shown.
void openAndWait(MainWindow& window, const QStringList& paths)
{
    window.openPaths(paths);
    ASSERT_TRUE(waitFor([&] { return !window.isBusy(); }, 120000));
    window.flushReport();
}

} // namespace

TEST_F(WindowTest, SettingsTogglesShowAndStoreTheSettings)
{
    for (const QStringList& row : caseRows("gui-settings.tsv")) {
        const std::string name = row[0].toStdString();
        const bool byDefault = row.value(2) == "1";
        useFreshSettings();
        {
            MainWindow window;
            QAction* a = action(window, name.c_str());
            ASSERT_TRUE(a && a->isCheckable()) << name;
            EXPECT_EQ(a->isChecked(), byDefault) << name;
            a->trigger();
            EXPECT_EQ(platform::UserDefaults::standard().boolForKey(row.value(1)), !byDefault) << name;
            EXPECT_EQ(platform::UserDefaults::standard().store().value(row.value(1)).toBool(), !byDefault);
        }
        // A stored value is what the next window shows.
        MainWindow again;
        EXPECT_EQ(action(again, name.c_str())->isChecked(), !byDefault) << name;
    }
}

// Rules that cannot be read are told in the status bar, not passed over.
TEST_F(WindowTest, RulesThatCannotBeReadAreTold)
{
    const QString broken = mDir.filePath(QStringLiteral("rules.plist"));
    writeFile(broken, "<plist><dict>");
    {
        MainWindow window;
        EXPECT_TRUE(window.statusBar()->currentMessage().isEmpty())
            << window.statusBar()->currentMessage().toStdString();
    }
    platform::Bundle::main().setResourcePath(QStringLiteral("rules.plist"), broken);
    const auto restore =
        qScopeGuard([] { platform::Bundle::main().setResourcePath(QStringLiteral("rules.plist"), {}); });
    MainWindow window;
    EXPECT_TRUE(window.statusBar()->currentMessage().contains(broken))
        << window.statusBar()->currentMessage().toStdString();
}

// A project's .ostrel.toml decides its files' settings in the window too, and
// the Settings menu names it; the window's own setting holds for other files.
TEST_F(WindowTest, AProjectFileDecidesItsSettingsAndTheMenuSaysSo)
{
    const QString project = mDir.filePath(QStringLiteral("proj"));
    ASSERT_TRUE(QDir().mkpath(project + "/.git"));
    writeFile(project + "/.ostrel.toml", "unknown-key-notes = false\nignore = [\"KeyTypo\"]\n");
    const QByteArray plist = "<plist><dict><key>Extra</key><string>x</string>"
                             "<key>NSPrincipleClass</key><string>X</string></dict></plist>";
    writeFile(project + "/Info.plist", plist);
    writeFile(mDir.filePath("Other.plist"), plist);

    MainWindow window;
    QAction* unknown = action(window, "actionNoteUnknownKeys");
    const QString ownText = unknown->text();
    openAndWait(window, {project + "/Info.plist"});
    const QString inProject = shown(window);
    EXPECT_FALSE(inProject.contains("[UnknownTopKey]") || inProject.contains("Unknown key Extra"));
    EXPECT_FALSE(inProject.contains("NSPrincipalClass")) << inProject.toStdString();
    EXPECT_TRUE(unknown->text().startsWith(ownText));
    EXPECT_TRUE(unknown->text().contains(project + "/.ostrel.toml")) << unknown->text().toStdString();
    EXPECT_EQ(action(window, "actionCheckNestedBundles")->text().contains(".ostrel.toml"), false);

    // Outside the project: the window's settings, and the menu as it was.
    openAndWait(window, {mDir.filePath("Other.plist")});
    const QString outside = shown(window).mid(inProject.size());
    EXPECT_TRUE(outside.contains("Extra")) << outside.toStdString();
    EXPECT_TRUE(outside.contains("NSPrincipalClass")) << outside.toStdString();
    EXPECT_EQ(unknown->text(), ownText);
}

TEST_F(WindowTest, FilesOpenInTurnWithBoldNamesAndInlineIconsCopiedAsWords)
{
    const QString bundle = makeBundle(mDir.path(), "Good.app", infoPlist({{"CFBundleIdentifier", "com.example.good"}}));
    const QString array = mDir.filePath("array.plist");
    writeFile(array, "(1, 2)");
    const QString missing = mDir.filePath("missing.plist");

    MainWindow window;
    bool sawBusy = false;
    // One handed over while the others are checked (as a second launch would)
    // waits its turn.
    QTimer::singleShot(0, &window, [&] {
        sawBusy = window.isBusy();
        window.openPaths({missing});
    });
    openAndWait(window, {bundle, array});
    EXPECT_TRUE(sawBusy);
    EXPECT_EQ(checkedNames(window), QStringList({"Good.app", "array.plist", "missing.plist"}));
    const QString text = shown(window);
    EXPECT_TRUE(text.contains(bundle + "/Contents/Info.plist\n"));
    EXPECT_EQ(text.count(QStringLiteral("error: ")), 2);

    // The names in bold and nothing else; one image in the view per icon run.
    QString boldText;
    int images = 0;
    for (QTextBlock block = window.textView()->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                images += it.fragment().length();
            else if (format.font().bold())
                boldText += it.fragment().text() + "|";
        }
    }
    EXPECT_EQ(boldText, "Good.app|array.plist|missing.plist|");
    int iconRuns = 0;
    for (const report::StyledString& run : window.textStorage().runs())
        iconRuns += run.attachment ? 1 : 0;
    EXPECT_EQ(images, iconRuns);
    EXPECT_GE(images, 2);

    // Copied, the icons are words.
    action(window, "actionSelectAll")->trigger();
    ASSERT_TRUE(action(window, "actionCopy")->isEnabled());
    action(window, "actionCopy")->trigger();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.contains(QStringLiteral("\nerror: "))) << copied.toStdString();
    EXPECT_FALSE(copied.contains(QChar(0xFFFC)));
}

TEST_F(WindowTest, DropsOfFilesAndBundlesAreChecked)
{
    const QString bundle = makeBundle(mDir.path(), "Dropped.app", infoPlist({{"CFBundleIdentifier", "com.x.d"}}));
    const QString file = mDir.filePath("dropped.plist");
    writeFile(file, "(1)");
    // A name that is not UTF-8 reaches a drop as percent-encoded bytes.
    std::ofstream(QFile::encodeName(mDir.path()).toStdString() + "/dr\xFFop.plist") << "(1)";
    const QUrl undecodable(QUrl::fromLocalFile(mDir.path()).toString() + "/dr%FFop.plist");

    MainWindow window;
    window.show();
    const struct {
        QList<QUrl> urls;
        QWidget* target;
        bool accepted;
        QStringList checked;
    } drops[] = {
        {{QUrl::fromLocalFile(bundle), QUrl::fromLocalFile(file)}, &window, true, {"Dropped.app", "dropped.plist"}},
        {{QUrl::fromLocalFile(file)}, window.textView()->viewport(), true, {"dropped.plist"}},
        {{undecodable}, &window, true, {"dr\\xFFop.plist"}},
        {{QUrl("https://example.com/Info.plist")}, &window, false, {}},
    };
    for (const auto& drop : drops) {
        const QStringList before = checkedNames(window);
        QMimeData data;
        data.setUrls(drop.urls);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(drop.target, &enter);
        EXPECT_EQ(enter.isAccepted(), drop.accepted);
        if (!drop.accepted)
            continue;
        QDropEvent dropEvent(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(drop.target, &dropEvent);
        EXPECT_TRUE(waitFor([&] { return checkedNames(window).size() == before.size() + drop.checked.size(); }));
        EXPECT_EQ(checkedNames(window).mid(before.size()), drop.checked);
    }
}

TEST_F(WindowTest, TheViewFollowsTheEndOnlyWhileTheUserIsThere)
{
    QStringList files;
    for (int i = 0; i < 30; ++i) {
        files << mDir.filePath(QStringLiteral("f%1.plist").arg(i));
        writeFile(files.last(), "(1)");
    }
    MainWindow window;
    window.resize(400, 300);
    window.show();
    QScrollBar* bar = window.textView()->verticalScrollBar();
    openAndWait(window, files);
    // Lines off the screen are laid out while idle; a new window stays at the top.
    ASSERT_TRUE(waitFor([&] { return window.textView()->isLaidOut(); }));
    ASSERT_GT(window.textView()->document()->lineCount(), window.textView()->document()->blockCount()); // wrapped
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);

    // Up there reading: new lines do not pull the view away.
    openAndWait(window, files.mid(0, 5));
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), 0);

    // Back at the end: it follows again.
    bar->setValue(bar->maximum());
    const int before = bar->maximum();
    openAndWait(window, files.mid(0, 5));
    QCoreApplication::processEvents();
    EXPECT_GT(bar->maximum(), before);
    EXPECT_EQ(bar->value(), bar->maximum());
}

namespace {

// What a poppler tool prints for a PDF; empty when it is not installed.
QString popplerOutput(const QString& tool, const QStringList& arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return {};
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

// The printed icons are as high as the text and carry their severity word.
TEST_F(WindowTest, PrintSheetPrintsToPdfUnderTheJobTitleOrSaysItCannot)
{
    MainWindow window;
    window.show();
    openAndWait(window, {example("Mistakes.app"), example("LegacyTool")});
    const QString pdf = mDir.filePath("printed.pdf");
    for (const QString& target : {mDir.filePath("gone/printed.pdf"), pdf}) {
        action(window, "actionPrint")->trigger();
        auto* dialog = waitForWidget<QPrintDialog>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        // Print to file, the one printer every machine has.
        auto* fileName = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
        ASSERT_NE(fileName, nullptr);
        fileName->setText(target);
        dialog->accept();
        if (target != pdf) {
            auto* box = waitForWidget<QMessageBox>();
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(box->text().contains(target)) << box->text().toStdString();
            box->accept();
        }
    }
    ASSERT_TRUE(waitFor([&] { return QFileInfo(pdf).size() > 0; }));
    const QByteArray bytes = testsupport::readFile(pdf);
    // The title is written as UTF-16 in the document information.
    const QString title = platform::Bundle::main().localizedString("Ostrel Log");
    QByteArray utf16 = "\xfe\xff";
    for (QChar c : title)
        utf16 += char(c.unicode() >> 8), utf16 += char(c.unicode() & 0xff);
    EXPECT_TRUE(bytes.contains("/Title (" + utf16 + ")")) << bytes.left(2000).toStdString();
    EXPECT_TRUE(bytes.contains("/Subtype /Image")); // the icons are printed
    if (QStandardPaths::findExecutable("pdfimages").isEmpty() || QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "poppler-utils is not installed";

    // Each severity word as often as the findings of its kind, and how high it stands.
    QMap<QString, int> words;
    QMap<QString, int> expected;
    for (const report::Finding& finding : window.textStorage().findings())
        ++expected[report::severityName(finding.severity) + ":"];
    double wordHeight = 1e9;
    const QRegularExpression word(
        R"re(<word xMin="[\d.]+" yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)">(\w+:)</word>)re");
    for (const QRegularExpressionMatch& m : word.globalMatch(popplerOutput("pdftotext", {"-bbox", pdf, "-"}))) {
        if (!expected.contains(m.captured(3)))
            continue;
        ++words[m.captured(3)];
        wordHeight = std::min(wordHeight, m.captured(2).toDouble() - m.captured(1).toDouble());
    }
    ASSERT_EQ(expected.size(), 3);
    EXPECT_EQ(words, expected);

    // Each icon drawn, in points, at least as high as those words.
    int icons = 0;
    for (const report::StyledString& run : window.textStorage().runs())
        icons += run.attachment ? 1 : 0;
    int drawn = 0;
    for (const QString& line : popplerOutput("pdfimages", {"-list", pdf}).split('\n').mid(2)) {
        const QStringList fields = line.simplified().split(' ');
        if (fields.size() < 14 || fields[2] != "image") // not the icons' alpha masks
            continue;
        ++drawn;
        const double points = fields[4].toDouble() / fields[13].toDouble() * 72; // height / y-ppi
        EXPECT_GE(points, 0.9 * wordHeight) << line.toStdString();
    }
    EXPECT_EQ(drawn, icons);
}

namespace {

// Every path under root with its contents (a link as its target), so that a
// change anywhere shows.
QMap<QString, QByteArray> tree(const QString& root)
{
    QMap<QString, QByteArray> found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString name = QDir(root).relativeFilePath(info.filePath());
        if (info.isSymLink())
            found.insert(name, "-> " + info.symLinkTarget().toUtf8());
        else if (info.isDir())
            found.insert(name, "/");
        else
            found.insert(name, testsupport::readFile(info.filePath()));
    }
    return found;
}

// The entries of a tree but those at or below name.
QMap<QString, QByteArray> outside(QMap<QString, QByteArray> all, const QString& name)
{
    all.removeIf([&](const auto& it) { return it.key() == name || it.key().startsWith(name + "/"); });
    return all;
}

} // namespace

TEST_F(WindowTest, SaveAndExportReplaceOnlyADocumentOfTheirOwnKind)
{
    const QString d = QDir(mDir.path()).canonicalPath();
    const QString app = makeBundle(d, "Tool.app", infoPlist({{"CFBundleIdentifier", "com.example.tool"}}));
    const QString loose = d + "/loose.plist";
    writeFile(loose, infoPlist({{"CFBundleIdentifier", "com.example.loose"}}));
    // What is there before each save (a replaced target is made again).
    auto makeTargets = [&d] {
        writeFile(d + "/notes.txt", "my notes");
        writeFile(d + "/Old.rtfd/TXT.rtf", "{\\rtf1{\\*\\generator Ostrel 1.0;} old}");
        writeFile(d + "/Old.rtfd/stale16x16.png", "old image");
        writeFile(d + "/old.pdf", "%PDF-old");
        QDir().mkpath(d + "/work");
    };
    makeTargets();
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(d + "/work"));
    MainWindow window;
    window.show();
    openAndWait(window, {app, loose});
    for (const QStringList& row : caseRows("gui-save-targets.tsv")) {
        const std::string name = row[0].toStdString();
        for (const bool exporting : {false, true}) {
            makeTargets();
            const QString target = d + "/" + row[0];
            const auto old = tree(d);
            const bool allowed = row.value(exporting ? 2 : 1) == "1";
            QString why;
            if (exporting) {
                EXPECT_EQ(window.exportPdf(target, &why), allowed) << name << ": " << why.toStdString();
            } else {
                window.delegate().saveDone(app::kPanelOK, QUrl::fromLocalFile(target));
                if (!allowed) {
                    auto* box = waitForWidget<QMessageBox>();
                    ASSERT_NE(box, nullptr) << name;
                    why = box->text();
                    EXPECT_TRUE(why.contains(target)) << why.toStdString();
                    box->accept();
                    QCoreApplication::processEvents();
                }
            }
            EXPECT_NE(why.isEmpty(), !allowed) << name;
            const auto now = tree(d);
            if (!allowed) {
                EXPECT_EQ(now, old) << name;
                continue;
            }
            EXPECT_EQ(outside(now, row[0]), outside(old, row[0])) << name;
            // Replaced whole: only what the new document holds is there.
            EXPECT_TRUE(testsupport::readFile(exporting ? target : target + "/TXT.rtf")
                            .startsWith(exporting ? "%PDF-1" : "{\\rtf1\\ansi"))
                << name;
            EXPECT_FALSE(QFileInfo::exists(target + "/stale16x16.png"));
            QFile::remove(target);
            QDir(target).removeRecursively();
        }
    }
    QDir::setCurrent(before);
}

namespace {

// Each piece of the view's text with what it looks like: its text (or the
// image's name) and the font or image properties.
QStringList viewPieces(gui::ReportView* view)
{
    QStringList pieces;
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
        pieces << QStringLiteral("¶%1").arg(block.blockFormat().properties().size());
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            QString piece = format.isImageFormat() ? format.toImageFormat().name() : it.fragment().text();
            piece += QLatin1Char('|') + format.font().toString();
            const auto properties = format.properties();
            for (auto p = properties.cbegin(); p != properties.cend(); ++p)
                piece += QStringLiteral("|%1=%2").arg(p.key()).arg(p.value().toString());
            pieces << piece;
        }
    }
    return pieces;
}

// The view's findings of each severity, counted by their words ("error: ").
QList<qsizetype> shownKinds(MainWindow& window)
{
    const QString text = window.textView()->labelledText();
    QList<qsizetype> kinds;
    for (const auto severity : {report::Severity::Error, report::Severity::Warning, report::Severity::Note})
        kinds << text.count(report::severityName(severity) + ": ");
    return kinds;
}

// What ostrel-check writes as JSON lines for paths, findings only.
QList<QByteArray> cliFindingLines(const QStringList& paths, const QString& configHome)
{
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome); // its default settings
    cli.setProcessEnvironment(environment);
    cli.start(
        qEnvironmentVariable("OSTREL_BINARY_DIR") + QStringLiteral("/src/cli/ostrel-check"),
        QStringList{QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("-j"), QStringLiteral("1")} +
            paths);
    if (!cli.waitForFinished(60000))
        return {};
    QList<QByteArray> lines;
    for (const QByteArray& line : cli.readAllStandardOutput().split('\n')) {
        if (line.contains("\"id\":"))
            lines << line;
    }
    return lines;
}

QList<QByteArray> lines(const QByteArray& text)
{
    QList<QByteArray> all = text.split('\n');
    if (!all.isEmpty() && all.last().isEmpty())
        all.removeLast();
    return all;
}

} // namespace

// Hidden before the check, a kind's findings are recorded, not shown; shown
// again, the view is as it was; and the headings, the Show bar, the title and
// the status bar count what was found, not what is shown.
TEST_F(WindowTest, ShowControlHidesEachKindAndRestoresTheViewExactly)
{
    MainWindow window;
    action(window, "actionShowNotes")->trigger();
    openAndWait(window, {example("Mistakes.app"), example("LegacyTool"), example("Correct.app")});
    EXPECT_EQ(shownKinds(window)[2], 0);
    action(window, "actionShowNotes")->trigger();
    const QStringList whole = viewPieces(window.textView());
    const QList<qsizetype> all = shownKinds(window);
    const QStringList headings = shown(window).split('\n').filter(QRegularExpression("^Checking "));
    int counts[3] = {0, 0, 0};
    for (const report::Finding& finding : window.textStorage().findings())
        ++counts[static_cast<int>(finding.severity)];
    const QString totals =
        QStringLiteral("%1 errors, %2 warnings, %3 notes in 3 bundles").arg(counts[0]).arg(counts[1]).arg(counts[2]);

    const QStringList kinds{"Errors", "Warnings", "Notes"};
    for (int kind = 0; kind < 3; ++kind) {
        const std::string name = kinds[kind].toStdString();
        const auto severity = report::Severity(kind);
        ASSERT_GT(all[kind], 1) << name;
        ASSERT_GT(counts[kind], 1) << name;
        QAction* toggle = action(window, qPrintable("actionShow" + kinds[kind]));
        ASSERT_TRUE(toggle && toggle->isCheckable() && toggle->isChecked()) << name;
        toggle->trigger();
        EXPECT_FALSE(window.shows(severity));
        // The kind is gone, line ends and all; the rest is as the command line
        // shows it with the same kind left out.
        QList<qsizetype> expected = all;
        expected[kind] = 0;
        EXPECT_EQ(shownKinds(window), expected) << name;
        const QString text = report::plainText(window.textStorage(), 0, window.textStorage().runs().size(), false,
                                               [&](const report::Finding& f) { return f.severity != severity; });
        EXPECT_EQ(withoutSummaries(window.textView()->labelledText()), text) << name;
        EXPECT_EQ(shown(window).split('\n').filter(QRegularExpression("^Checking ")), headings) << name;
        EXPECT_EQ(window.totalsText(), totals) << name;
        EXPECT_EQ(window.windowTitle(), "Ostrel — " + totals);
        EXPECT_EQ(window.findChild<QLabel*>("totalsLabel")->text(), totals);
        for (int each = 0; each < 3; ++each) {
            EXPECT_EQ(action(window, qPrintable("actionShow" + kinds[each]))->text(),
                      QStringLiteral("%1 %2").arg(kinds[each]).arg(counts[each]));
        }

        toggle->trigger();
        EXPECT_EQ(viewPieces(window.textView()), whole) << name;
    }
    // The Show buttons are in the Tab order, and Space toggles one.
    QWidget* button = window.findChild<QToolBar*>("showBar")->widgetForAction(action(window, "actionShowWarnings"));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus); // a tool bar's buttons take no focus unless told
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent space(type, Qt::Key_Space, Qt::NoModifier, " ");
        QCoreApplication::sendEvent(button, &space);
    }
    EXPECT_FALSE(action(window, "actionShowWarnings")->isChecked());
    ASSERT_EQ(headings.size(), 3);
    EXPECT_TRUE(headings[0].contains(QRegularExpression(kSummary + "\\d+ errors?, \\d+ warnings?")))
        << headings[0].toStdString();
    EXPECT_EQ(headings[2], "Checking Correct.app" + kSummary + "No problems found");
}

TEST_F(WindowTest, CopyAsJsonGivesTheCommandLinesObjectsOfTheShownFindingsInTheSelection)
{
    const QString cli = qEnvironmentVariable("OSTREL_BINARY_DIR") + QStringLiteral("/src/cli/ostrel-check");
    if (!QFileInfo(cli).isExecutable())
        GTEST_SKIP() << "ostrel-check is not built";
    const QStringList paths{example("Mistakes.app"), example("LegacyTool")};
    const QList<QByteArray> expected = cliFindingLines(paths, mDir.filePath("config"));
    ASSERT_GT(expected.size(), 3);

    MainWindow window;
    openAndWait(window, paths);
    QAction* copy = action(window, "actionCopyAsJson");
    ASSERT_NE(copy, nullptr);
    copy->trigger();
    EXPECT_EQ(lines(QGuiApplication::clipboard()->text().toUtf8()), expected);

    // Hidden kinds are not copied.
    action(window, "actionShowNotes")->trigger();
    QList<QByteArray> withoutNotes;
    for (const QByteArray& line : expected) {
        if (!line.contains("\"severity\":\"note\""))
            withoutNotes << line;
    }
    ASSERT_LT(withoutNotes.size(), expected.size());
    copy->trigger();
    EXPECT_EQ(lines(QGuiApplication::clipboard()->text().toUtf8()), withoutNotes);

    // A selection copies the findings whose text it touches, and only those.
    const QJsonObject second = QJsonDocument::fromJson(withoutNotes[1]).object();
    const QJsonObject third = QJsonDocument::fromJson(withoutNotes[2]).object();
    QTextDocument* document = window.textView()->document();
    const QTextCursor secondText = document->find(second.value("text").toString());
    const QTextCursor thirdText = document->find(third.value("text").toString());
    ASSERT_FALSE(secondText.isNull());
    ASSERT_FALSE(thirdText.isNull());
    const struct {
        int start;
        int end;
        QList<QByteArray> copied;
    } selections[] = {
        {secondText.selectionStart() + 2, secondText.selectionStart() + 5, {withoutNotes[1]}},
        {secondText.selectionEnd() - 1, thirdText.selectionStart() + 1, {withoutNotes[1], withoutNotes[2]}},
        {0, 1, {}}, // the introduction
    };
    for (const auto& selection : selections) {
        QTextCursor cursor(document);
        cursor.setPosition(selection.start);
        cursor.setPosition(selection.end, QTextCursor::KeepAnchor);
        window.textView()->setTextCursor(cursor);
        copy->trigger();
        EXPECT_EQ(lines(QGuiApplication::clipboard()->text().toUtf8()), selection.copied) << selection.start;
    }
}

namespace {

// The examples between files of the real corpus, and a file that is missing:
// clean files, findings and failures to read alternate.
QStringList mixedBatch(const QString& missing, int corpusFiles)
{
    QStringList paths = QDir(example("")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    for (QString& name : paths)
        name = example(name.toUtf8().constData());
    paths << missing;
    const QDir corpus(qEnvironmentVariable("OSTREL_TEST_DATA") + QStringLiteral("/real"));
    for (const QString& name :
         corpus.entryList({QStringLiteral("*.plist")}, QDir::Files, QDir::Name).mid(0, corpusFiles))
        paths << corpus.filePath(name);
    return paths + paths.mid(0, 6);
}

// The report of checking paths one after another on this thread.
report::TextStorage serialReport(const QStringList& paths)
{
    app::HeadlessWindow window;
    app::OstrelAppDelegate controller;
    controller.setWindow(&window);
    controller.awakeFromNib();
    for (const QString& path : paths)
        app::PerformCommand([&] { controller.applicationOpenFile(path); });
    return window.textStorage();
}

} // namespace

TEST_F(WindowTest, ClosingDuringABatchStopsAtAFileBoundary)
{
    const QStringList once = mixedBatch(mDir.filePath("missing.plist"), 300);
    QStringList paths;
    for (int i = 0; i < 20; ++i)
        paths += once;
    // Each file's report is the same wherever it stands.
    const QString intro = serialReport({}).string();
    const QString all = intro + serialReport(once).string().mid(intro.size()).repeated(20);

    auto window = std::make_unique<MainWindow>();
    window->show();
    window->openPaths(paths);
    ASSERT_TRUE(waitFor([&] { return window->textStorage().runs().size() > 200; }));
    ASSERT_TRUE(window->isBusy());
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isBusy());
    const QString partial = window->textStorage().string();
    // Nothing more arrives once closed, and what came stops where a file's report starts.
    QCoreApplication::processEvents();
    EXPECT_EQ(window->textStorage().string(), partial);
    ASSERT_LT(partial.size(), all.size());
    EXPECT_TRUE(all.startsWith(partial));
    const QString prefix = platform::Bundle::main().localizedString(QStringLiteral("CheckingPrefix"));
    EXPECT_TRUE(QStringView(all).mid(partial.size()).startsWith(prefix));
    window.reset();
}

// Next and Previous Finding walk the shown findings, and Find each place of
// a text, round the ends.
TEST_F(WindowTest, NextPreviousAndFindGoRoundTheEnds)
{
    MainWindow window;
    openAndWait(window, {example("Mistakes.app"), example("LegacyTool")});
    const auto selected = [&] { return window.textView()->textCursor().selectedText(); };
    for (const bool notesShown : {true, false}) {
        if (!notesShown)
            action(window, "actionShowNotes")->trigger();
        QStringList texts;
        for (const report::Finding& finding : window.textStorage().findings()) {
            if (notesShown || finding.severity != report::Severity::Note)
                texts << finding.text;
        }
        ASSERT_GT(texts.size(), 3);
        window.textView()->moveCursor(QTextCursor::Start);
        for (int i = 0; i <= texts.size(); ++i) {
            action(window, "actionNextFinding")->trigger();
            // The line shows the finding's place and ID around its text.
            EXPECT_TRUE(selected().contains(texts[i % texts.size()])) << i << selected().toStdString();
        }
        // Back from the first, round to the last.
        for (int i = 0; i <= texts.size(); ++i) {
            action(window, "actionPreviousFinding")->trigger();
            EXPECT_TRUE(selected().contains(texts[(2 * texts.size() - 1 - i) % texts.size()])) << i;
        }
    }

    window.textView()->moveCursor(QTextCursor::Start);
    const QString text = window.textView()->document()->toRawText(); // at the cursor's positions
    const QString word = "Checking ";
    ASSERT_EQ(text.count(word), 2);
    action(window, "actionFind")->trigger();
    EXPECT_TRUE(window.findChild<QToolBar*>("findBar")->isVisibleTo(&window));
    const int first = static_cast<int>(text.indexOf(word));
    const int second = static_cast<int>(text.indexOf(word, first + 1));
    const struct {
        bool backward;
        int at;
    } steps[] = {{false, first}, {false, second}, {false, first}, {true, second}};
    for (const auto& step : steps) {
        ASSERT_TRUE(window.findText(word, step.backward));
        EXPECT_EQ(window.textView()->textCursor().selectionStart(), step.at);
    }
    EXPECT_FALSE(window.findText("not in any report"));
}

namespace {

// The report's headings and its findings' texts, file by file.
QStringList headingsAndFindings(MainWindow& window)
{
    QStringList lines = window.textView()->labelledText().split('\n').filter(QRegularExpression("^Checking "));
    for (const report::Finding& finding : window.textStorage().findings())
        lines << QFileInfo(finding.fileGiven).fileName() + ": " + finding.text;
    return lines;
}

} // namespace

TEST_F(WindowTest, ReloadWatchAndClearReplaceTheReportInPlace)
{
    const QString first = mDir.filePath("first.plist");
    const QString second = mDir.filePath("second.plist");
    writeFile(first, "(1)");
    writeFile(second, "(2)");
    const QByteArray fixed = infoPlist({{"CFBundleIdentifier", "com.example.fixed"}});
    MainWindow window;
    openAndWait(window, {first, second});
    const QStringList before = headingsAndFindings(window);
    ASSERT_EQ(window.bundleCount(), 2);
    const int errors = window.count(report::Severity::Error);
    ASSERT_GE(errors, 2);

    // Reload: checked again, in the same order, not appended.
    writeFile(first, fixed);
    action(window, "actionReload")->trigger();
    ASSERT_TRUE(waitFor([&] { return !window.isBusy(); }));
    window.flushReport();
    const QStringList reloaded = headingsAndFindings(window);
    EXPECT_EQ(window.bundleCount(), 2);
    EXPECT_LT(window.count(report::Severity::Error), errors);
    EXPECT_EQ(checkedNames(window), QStringList({"first.plist", "second.plist"}));
    EXPECT_NE(reloaded, before);

    // Watch Files: a change on disk checks that file again, in its place.
    action(window, "actionWatchFiles")->trigger();
    EXPECT_TRUE(platform::UserDefaults::standard().store().value("WatchFiles").toBool());
    writeFile(first, "(1)");
    ASSERT_TRUE(waitFor([&] { return !window.isBusy() && headingsAndFindings(window) == before; }, 10000));
    EXPECT_EQ(window.count(report::Severity::Error), errors);
    EXPECT_EQ(window.windowTitle(), "Ostrel — " + window.totalsText());

    // Clear: back to the introduction, and nothing left to reload.
    action(window, "actionClear")->trigger();
    EXPECT_EQ(shown(window), platform::Bundle::main().localizedString("IntroText"));
    EXPECT_EQ(window.bundleCount(), 0);
    EXPECT_EQ(window.windowTitle(), "Ostrel");
    EXPECT_TRUE(window.checkedFiles().isEmpty());

    // Open Recent names the files opened, the latest first.
    QMenu* recent = window.findChild<QMenu*>("menuRecent");
    ASSERT_NE(recent, nullptr);
    emit recent->aboutToShow();
    ASSERT_GE(recent->actions().size(), 2);
    EXPECT_EQ(recent->actions()[0]->text(), second);
    recent->actions()[1]->trigger();
    ASSERT_TRUE(waitFor([&] { return !window.isBusy(); }));
    EXPECT_EQ(checkedNames(window), QStringList({"first.plist"}));
}

TEST_F(WindowTest, AFindingOpensTheSourcePaneAtItsLine)
{
    const struct {
        const char* name;
        int line; // 0: the JSON form's line of the key
        bool byDoubleClick;
    } rows[] = {{"xml", 5, true}, {"old", 3, false}, {"binary", 0, false}};
    MainWindow window;
    window.resize(800, 600);
    window.show();
    gui::ReportView* view = window.textView();
    for (const auto& row : rows) {
        const QString path = windowFile(QStringLiteral("source.%1.plist").arg(row.name));
        openAndWait(window, {path});
        const QList<report::Finding>& findings = window.textStorage().findings();
        const auto finding = std::find_if(findings.cbegin(), findings.cend(), [&](const report::Finding& f) {
            return f.fileRead == path && f.keyPath == "CFBundleIdentifier";
        });
        ASSERT_NE(finding, findings.cend()) << row.name << shown(window).toStdString();
        // The latest file's report is the last.
        QTextCursor end(view->document());
        end.movePosition(QTextCursor::End);
        const QTextCursor text = view->document()->find(finding->text, end, QTextDocument::FindBackward);
        ASSERT_FALSE(text.isNull()) << row.name;
        if (row.byDoubleClick) {
            const QPoint at = view->cursorRect(text).center();
            QMouseEvent click(QEvent::MouseButtonDblClick, at, view->viewport()->mapToGlobal(at), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view->viewport(), &click);
        } else {
            view->setTextCursor(text);
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(view, &enter);
        }
        gui::SourcePane* pane = window.sourcePane();
        ASSERT_TRUE(pane->isVisible()) << row.name;
        EXPECT_TRUE(pane->isReadOnly());
        EXPECT_EQ(pane->path().toStdString(), path.toStdString());
        EXPECT_EQ(pane->showsTextForm(), row.line == 0) << row.name;
        if (row.line) {
            EXPECT_EQ(pane->litLine(), row.line) << row.name;
        }
        EXPECT_TRUE(pane->document()->findBlockByNumber(pane->litLine() - 1).text().contains("CFBundleIdentifier"))
            << row.name;
        EXPECT_EQ(pane->textCursor().blockNumber() + 1, pane->litLine());
    }
    // It follows the selection: back to the first file's finding.
    view->moveCursor(QTextCursor::Start);
    action(window, "actionNextFinding")->trigger();
    EXPECT_EQ(window.sourcePane()->path(), window.textStorage().findings().first().fileRead);
}

TEST_F(WindowTest, ExportAsHtmlWritesAWellFormedDocumentWithEveryFinding)
{
    MainWindow window;
    openAndWait(window, {example("Mistakes.app"), example("Correct.app")});
    const QString path = mDir.filePath("report.html");
    QString why;
    ASSERT_TRUE(window.exportHtml(path, &why)) << why.toStdString();
    QXmlStreamReader xml(testsupport::readFile(path));
    QStringList items;
    int icons = 0;
    QString item;
    int depth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"li")
            depth = 1, item.clear();
        else if (xml.isStartElement() && depth) {
            if (xml.name() == u"img") {
                const QString src = xml.attributes().value("src").toString();
                ASSERT_TRUE(src.startsWith("data:image/png;base64,"));
                icons += QImage::fromData(QByteArray::fromBase64(src.mid(22).toLatin1())).isNull() ? 0 : 1;
            }
        } else if (xml.isCharacters() && depth)
            item += xml.text();
        else if (xml.isEndElement() && xml.name() == u"li")
            depth = 0, items << item.trimmed();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
    const QList<report::Finding>& findings = window.textStorage().findings();
    ASSERT_EQ(items.size(), findings.size());
    EXPECT_EQ(icons, findings.size());
    for (qsizetype i = 0; i < findings.size(); ++i) {
        const report::Finding& f = findings[i];
        QString expected = report::severityName(f.severity) + ": " + f.text.trimmed();
        if (f.position.line > 0)
            expected += QStringLiteral(" line %1").arg(f.position.line);
        EXPECT_EQ(items[i], expected + " [" + f.messageKey + "]");
    }
}

TEST_F(WindowTest, FixFixAllSafeAndUndoFixWriteTheFileAndAppendItsNewReport)
{
    const QString path = mDir.filePath("fix.plist");
    const QByteArray original = testsupport::readFile(windowFile("fix.plist"));
    writeFile(path, original);
    MainWindow window;
    window.resize(800, 600);
    window.show();
    openAndWait(window, {path});
    EXPECT_FALSE(action(window, "actionUndoFix")->isEnabled());

    // Fix, from the near miss's context menu: that fix alone.
    const QList<report::Finding>& findings = window.textStorage().findings();
    const auto typo = std::find_if(findings.cbegin(), findings.cend(),
                                   [](const report::Finding& f) { return f.messageKey == "KeyTypo"; });
    ASSERT_NE(typo, findings.cend());
    gui::ReportView* view = window.textView();
    const QTextCursor text = view->document()->find(typo->text);
    ASSERT_FALSE(text.isNull());
    bool offered = false;
    whenShown<QMenu>([&](QMenu* menu) {
        if (QAction* fix = menu->findChild<QAction*>("actionFixFinding")) {
            offered = true;
            fix->trigger();
        }
        menu->close();
    });
    emit view->customContextMenuRequested(view->cursorRect(text).center());
    ASSERT_TRUE(waitFor([&] { return !window.isBusy() && checkedNames(window).size() == 2; }));
    EXPECT_TRUE(offered);
    QByteArray renamed = original;
    renamed.replace("NSPrincipleClass", "NSPrincipalClass");
    EXPECT_EQ(testsupport::readFile(path), renamed);

    // Undo Fix, once: the file as it was, checked again.
    ASSERT_TRUE(action(window, "actionUndoFix")->isEnabled());
    action(window, "actionUndoFix")->trigger();
    ASSERT_TRUE(waitFor([&] { return !window.isBusy() && checkedNames(window).size() == 3; }));
    EXPECT_EQ(testsupport::readFile(path), original);
    EXPECT_FALSE(action(window, "actionUndoFix")->isEnabled());

    // Fix All Safe: both fixes, and the new report has none left.
    action(window, "actionFixAllSafe")->trigger();
    ASSERT_TRUE(waitFor([&] { return !window.isBusy() && checkedNames(window).size() == 4; }));
    EXPECT_FALSE(testsupport::readFile(path).contains("NSPrincipleClass"));
    EXPECT_EQ(testsupport::readFile(path).count("<key>CFBundleName</key>"), 1);
    // Fixes offered: two, one, two, and none in the last report.
    EXPECT_EQ(
        std::count_if(findings.cbegin(), findings.cend(), [](const report::Finding& f) { return f.fix.has_value(); }),
        5);
}
