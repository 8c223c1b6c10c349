#include "check/ProjectSettings.h"

#include "check/MessageFormat.h"
#include "check/PlistDataReader.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "report/Escaping.h"
#include "report/FindingCatalogue.h"

#include <QDir>
#include <QFileInfo>

#include <toml++/toml.h>

#include <functional>
#include <string_view>

namespace check {

namespace {

QString shown(const QString& path)
{
    return report::escapeControlCharacters(path);
}

int lineOf(const toml::node& node)
{
    return static_cast<int>(node.source().begin.line);
}

// Reads the typed settings of one table; the first problem, naming the line.
class SettingsReader {
public:
    SettingsReader(const QString& file, QString& error) : mFile(file), mError(error) {}

    bool fail(int line, const QString& what)
    {
        mError = QStringLiteral("%1:%2: %3").arg(shown(mFile)).arg(line).arg(what);
        return false;
    }

    bool readBool(const toml::node& node, const QString& name, std::optional<bool>& into)
    {
        if (!node.is_boolean())
            return fail(lineOf(node), QStringLiteral("%1 must be true or false").arg(name));
        into = node.as_boolean()->get();
        return true;
    }

    bool readString(const toml::node& node, const QString& name, std::optional<QString>& into)
    {
        if (!node.is_string())
            return fail(lineOf(node), QStringLiteral("%1 must be a string").arg(name));
        into = QString::fromStdString(node.as_string()->get());
        return true;
    }

    bool readStrings(const toml::node& node, const QString& name, QList<IgnoreEntry>& into)
    {
        const toml::array* array = node.as_array();
        if (!array)
            return fail(lineOf(node), QStringLiteral("%1 must be an array of strings").arg(name));
        for (const toml::node& element : *array) {
            if (!element.is_string())
                return fail(lineOf(element), QStringLiteral("%1 must be an array of strings").arg(name));
            into.append({QString::fromStdString(element.as_string()->get()), lineOf(element)});
        }
        return true;
    }

    bool readStrings(const toml::node& node, const QString& name, QStringList& into)
    {
        QList<IgnoreEntry> entries;
        if (!readStrings(node, name, entries))
            return false;
        for (const IgnoreEntry& entry : entries)
            into.append(entry.text);
        return true;
    }

private:
    const QString& mFile;
    QString& mError;
};

QString absoluteIn(const QString& folder, const QString& path)
{
    return QDir::cleanPath(QDir(folder).absoluteFilePath(path));
}

} // namespace

QString ProjectSettings::folder() const
{
    return file.isEmpty() ? QString() : QFileInfo(file).absolutePath();
}

QVariantMap ProjectSettings::defaults() const
{
    QVariantMap map;
    const std::pair<const std::optional<bool>&, const QString&> settings[] = {
        {nested, platform::CheckNestedBundlesKey},
        {buildSettings, platform::AllowBuildSettingsKey},
        {deprecationNotes, platform::DeprecationNotesKey},
        {unknownKeyNotes, platform::NoteUnknownKeysKey}};
    for (const auto& [value, key] : settings)
        if (value)
            map.insert(key, *value);
    return map;
}

std::optional<ProjectSettings> parseProjectSettings(const QByteArray& text, const QString& file, QString& error)
{
    toml::table table;
    try {
        table = toml::parse(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
    } catch (const toml::parse_error& e) {
        error = QStringLiteral("%1:%2: %3")
                    .arg(shown(file))
                    .arg(e.source().begin.line)
                    .arg(report::escapeControlCharacters(
                        QString::fromUtf8(e.description().data(), static_cast<qsizetype>(e.description().size()))));
        return std::nullopt;
    }
    ProjectSettings settings;
    settings.file = QFileInfo(file).absoluteFilePath();
    const QString folder = settings.folder();
    SettingsReader reader(file, error);
    using Read = std::function<bool(const toml::node&, const QString&)>;
    const auto path = [&](std::optional<QString>& into) {
        return [&](const toml::node& node, const QString& name) {
            if (!reader.readString(node, name, into))
                return false;
            *into = absoluteIn(folder, *into);
            return true;
        };
    };
    const auto boolean = [&](std::optional<bool>& into) {
        return [&](const toml::node& node, const QString& name) { return reader.readBool(node, name, into); };
    };
    const std::pair<const char*, Read> kSettings[] = {
        {"fail-on",
         [&](const toml::node& node, const QString& name) {
             std::optional<QString> value;
             if (!reader.readString(node, name, value))
                 return false;
             settings.failOn = report::severityFromName(*value);
             return settings.failOn ||
                    reader.fail(lineOf(node), QStringLiteral("fail-on must be \"error\", \"warning\" or \"note\""));
         }},
        {"nested", boolean(settings.nested)},
        {"build-settings", boolean(settings.buildSettings)},
        {"deprecation-notes", boolean(settings.deprecationNotes)},
        {"unknown-key-notes", boolean(settings.unknownKeyNotes)},
        {"rules", path(settings.rules)},
        {"ignore",
         [&](const toml::node& node, const QString& name) { return reader.readStrings(node, name, settings.ignore); }},
        {"per-path",
         [&](const toml::node& node, const QString&) {
             const toml::array* tables = node.as_array();
             if (!tables || !tables->is_array_of_tables())
                 return reader.fail(lineOf(node), QStringLiteral("per-path must be tables ([[per-path]])"));
             for (const toml::node& element : *tables) {
                 PerPath perPath;
                 for (const auto& [key, value] : *element.as_table()) {
                     const QString name = QString::fromUtf8(key.str().data(), static_cast<qsizetype>(key.str().size()));
                     const bool ok =
                         name == QLatin1String("paths") ? reader.readStrings(value, name, perPath.paths)
                         : name == QLatin1String("ignore")
                             ? reader.readStrings(value, name, perPath.ignore)
                             : reader.fail(static_cast<int>(key.source().begin.line),
                                           QStringLiteral("unknown setting '%1' in per-path (use paths and ignore)")
                                               .arg(report::escapedExcerpt(name)));
                     if (!ok)
                         return false;
                 }
                 if (perPath.paths.isEmpty())
                     return reader.fail(lineOf(element), QStringLiteral("per-path needs paths"));
                 settings.perPath.append(perPath);
             }
             return true;
         }},
        {"fix", boolean(settings.fix)},
        {"unsafe-fixes", boolean(settings.unsafeFixes)},
        {"unfixable", [&](const toml::node& node,
                          const QString& name) { return reader.readStrings(node, name, settings.unfixable); }},
        {"baseline", path(settings.baseline)},
        {"7zip",
         [&](const toml::node& node, const QString& name) { return reader.readString(node, name, settings.sevenZip); }},
    };
    for (const auto& [key, value] : table) {
        const QString name = QString::fromUtf8(key.str().data(), static_cast<qsizetype>(key.str().size()));
        const auto known = std::find_if(std::begin(kSettings), std::end(kSettings),
                                        [&](const auto& setting) { return name == QLatin1String(setting.first); });
        if (known == std::end(kSettings)) {
            reader.fail(static_cast<int>(key.source().begin.line),
                        QStringLiteral("unknown setting '%1'").arg(report::escapedExcerpt(name)));
            return std::nullopt;
        }
        if (!known->second(value, name))
            return std::nullopt;
    }
    return settings;
}

QString findUpwards(const QString& path, const QString& name)
{
    const QFileInfo info(QDir::current().absoluteFilePath(path));
    QDir folder(info.isDir() && !info.isSymLink() ? info.absoluteFilePath() : info.absolutePath());
    for (;;) {
        const QFileInfo candidate(folder.filePath(name));
        // A link counts too, dangling or not: it is told, not passed over.
        if (candidate.exists() || candidate.isSymLink())
            return candidate.absoluteFilePath();
        if (QFileInfo::exists(folder.filePath(QStringLiteral(".git"))) || !folder.cdUp())
            return {};
    }
}

Projects::Projects(QSet<QString> knownKeys, bool isolated, QString config, QString ignoreFile)
    : mKnownKeys(std::move(knownKeys)), mIsolated(isolated), mConfig(std::move(config)),
      mIgnoreFile(std::move(ignoreFile))
{
}

namespace {

QString pathKey(const QString& path)
{
    return path == QLatin1String("-") ? QDir::currentPath() : QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

} // namespace

QString Projects::load(const QString& path)
{
    const QString key = pathKey(path);
    if (mByPath.contains(key))
        return {};
    const QString settingsFile = !mConfig.isEmpty() ? mConfig
                                 : mIsolated        ? QString()
                                                    : findUpwards(key, kProjectFileName);
    const QString ignoreFile = !mIgnoreFile.isEmpty() ? mIgnoreFile
                               : mIsolated            ? QString()
                                                      : findUpwards(key, kIgnoreFileName);
    const QString projectKey = settingsFile + QLatin1Char('\n') + ignoreFile;
    std::shared_ptr<Project>& project = mProjects[projectKey];
    if (!project) {
        auto loaded = std::make_shared<Project>();
        if (const QString problem = loadProject(settingsFile, ignoreFile, *loaded); !problem.isEmpty()) {
            mProjects.remove(projectKey);
            return problem;
        }
        project = std::move(loaded);
    }
    mByPath.insert(key, project);
    return {};
}

QString Projects::loadProject(const QString& settingsFile, const QString& ignoreFile, Project& project)
{
    project.ignored = std::make_unique<report::IgnoreList>(mKnownKeys);
    // One found rather than named may not lead out of its folder.
    const auto read = [](const QString& file, bool named, QString& problem) {
        const PlistData data =
            readSettingsFile(file, kMaxIgnoreFileSize, named ? SettingsLink::Anywhere : SettingsLink::WithinItsFolder);
        if (!data.ok())
            problem = QStringLiteral("cannot read %1: %2").arg(shown(file), data.error.localizedDescription());
        return data.ok() ? *data.bytes : QByteArray();
    };
    QString problem;
    if (!settingsFile.isEmpty()) {
        const QByteArray text = read(settingsFile, !mConfig.isEmpty(), problem);
        if (!problem.isEmpty())
            return problem;
        std::optional<ProjectSettings> settings = parseProjectSettings(text, settingsFile, problem);
        if (!settings)
            return problem;
        project.settings = std::move(*settings);
        const ProjectSettings& s = project.settings;
        const QString file = s.file;
        for (const IgnoreEntry& entry : s.ignore)
            if (const QString refused = project.ignored->add(entry.text, {file, entry.line}); !refused.isEmpty())
                return QStringLiteral("%1:%2: ignore: %3").arg(shown(settingsFile)).arg(entry.line).arg(refused);
        for (const PerPath& perPath : s.perPath)
            for (const IgnoreEntry& entry : perPath.ignore)
                if (const QString refused =
                        project.ignored->add(entry.text, {file, entry.line}, perPath.paths, s.folder());
                    !refused.isEmpty())
                    return QStringLiteral("%1:%2: per-path ignore: %3")
                        .arg(shown(settingsFile))
                        .arg(entry.line)
                        .arg(refused);
    }
    if (!ignoreFile.isEmpty()) {
        const QByteArray text = read(ignoreFile, !mIgnoreFile.isEmpty(), problem);
        if (!problem.isEmpty())
            return problem;
        const QFileInfo info(ignoreFile);
        if (const QString refused =
                project.ignored->addLines(QString::fromUtf8(text), info.absoluteFilePath(), info.absolutePath());
            !refused.isEmpty())
            return QStringLiteral("%1, %2").arg(shown(ignoreFile), refused);
    }
    return {};
}

const Projects::Project* Projects::projectFor(const QString& path) const
{
    const auto found = mByPath.constFind(pathKey(path));
    return found == mByPath.cend() ? nullptr : found->get();
}

const ProjectSettings& Projects::settingsFor(const QString& path) const
{
    const Project* project = projectFor(path);
    return project ? project->settings : mNone;
}

bool Projects::ignores(const report::Finding& finding) const
{
    const Project* project = projectFor(finding.fileGiven);
    return project && project->ignored->ignores(finding);
}

QList<report::IgnoreList::Unused> Projects::unused() const
{
    QList<report::IgnoreList::Unused> list;
    QSet<const Project*> seen;
    for (const std::shared_ptr<Project>& project : mProjects)
        if (!seen.contains(project.get())) {
            seen.insert(project.get());
            list += project->ignored->unused();
        }
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
        return std::pair(a.origin.file, a.origin.line) < std::pair(b.origin.file, b.origin.line);
    });
    return list;
}

} // namespace check

namespace check {

QList<report::Finding> Projects::unusedFindings() const
{
    const QString format = platform::Bundle::main().localizedString(QStringLiteral("UnusedSuppression"));
    QList<report::Finding> findings;
    for (const report::IgnoreList::Unused& unused : unused()) {
        report::Finding finding = report::makeFinding(report::FindingId::UnusedSuppression, QString(),
                                                      {arg(unused.entry)}, report::Position{unused.origin.line, 0, -1});
        finding.fileGiven = finding.fileRead = unused.origin.file;
        finding.text = messageLine(format, finding.arguments);
        findings.append(finding);
    }
    return findings;
}

} // namespace check
