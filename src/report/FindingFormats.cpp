#include "report/FindingFormats.h"

#include "report/Escaping.h"
#include "report/FindingCatalogue.h"

#include "platform/FileUrl.h"

#include <QCryptographicHash>
#include <QDir>
#include <QHash>
#include <QJsonArray>
#include <QStringDecoder>
#include <QXmlStreamWriter>

#include <algorithm>
#include <map>

namespace report {

namespace {

// GitHub's own escapes first: line ends in a message are meant as such.
QString githubData(QString text)
{
    text.replace(QLatin1Char('%'), QLatin1String("%25"));
    text.replace(QLatin1Char('\r'), QLatin1String("%0D"));
    text.replace(QLatin1Char('\n'), QLatin1String("%0A"));
    return escapeControlCharacters(text);
}

QString githubProperty(const QString& text)
{
    QString escaped = githubData(text);
    escaped.replace(QLatin1Char(':'), QLatin1String("%3A"));
    escaped.replace(QLatin1Char(','), QLatin1String("%2C"));
    return escaped;
}

QString sarifLevel(Severity severity)
{
    switch (severity) {
    case Severity::Error: return QStringLiteral("error");
    case Severity::Warning: return QStringLiteral("warning");
    case Severity::Note: return QStringLiteral("note");
    }
    return {};
}

// A path as a URI's path: the bytes of the name percent-encoded, so that
// bytes that are not UTF-8 stay themselves ("h%FF%FE"), not one mark for all.
QString uriPath(const QString& path)
{
    return QString::fromLatin1(platform::encodeFileName(path).toPercentEncoding("/"));
}

// The file as SARIF wants it: relative to the base where it lies below it,
// else an absolute file URI.
QJsonObject artifactLocation(const QString& file, const QString& baseDirectory)
{
    const QString absolute = QDir::cleanPath(QDir(baseDirectory).absoluteFilePath(file));
    const QString base = QDir::cleanPath(QDir(baseDirectory).absolutePath());
    if (absolute.startsWith(base + QLatin1Char('/'))) {
        const QString relative = absolute.mid(base.size() + 1);
        return {{QStringLiteral("uri"), uriPath(relative)}, {QStringLiteral("uriBaseId"), QStringLiteral("SRCROOT")}};
    }
    return {{QStringLiteral("uri"), QLatin1String("file://") + uriPath(absolute)}};
}

// The rule of a message key: the catalogue's entry, else (a key it does not
// know) the key alone, as grave as its first finding.
QJsonObject sarifRule(const QString& key, Severity firstSeen, const QString& findingsPage)
{
    const auto text = [](const char* text) { return QJsonObject{{QStringLiteral("text"), QString::fromUtf8(text)}}; };
    const FindingEntry* entry = findingNamed(key);
    QJsonObject rule{{QStringLiteral("id"), key},
                     {QStringLiteral("defaultConfiguration"),
                      QJsonObject{{QStringLiteral("level"), sarifLevel(entry ? entry->severity : firstSeen)}}}};
    if (!entry) {
        rule.insert(QStringLiteral("shortDescription"), QJsonObject{{QStringLiteral("text"), key}});
        return rule;
    }
    rule.insert(QStringLiteral("shortDescription"), text(entry->title));
    rule.insert(QStringLiteral("fullDescription"), text(entry->description));
    rule.insert(QStringLiteral("help"), QJsonObject{{QStringLiteral("text"), QString::fromUtf8(entry->text)},
                                                    {QStringLiteral("markdown"), QString::fromUtf8(entry->markdown)}});
    if (!findingsPage.isEmpty())
        rule.insert(QStringLiteral("helpUri"), helpUri(findingsPage, entry->id));
    return rule;
}

// A replacement's bytes as text where they are UTF-8, else in base64 under binaryKey.
QJsonObject replacementContent(const QByteArray& bytes, const QString& textKey, const QString& binaryKey)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return {{binaryKey, QString::fromLatin1(bytes.toBase64())}};
    return {{textKey, text}};
}

// The place an editor can go to: none in a resource, whose lines are not the file's.
Position editorPosition(const Finding& finding)
{
    return finding.inResource ? Position() : finding.position;
}

// A fix as SARIF has it: the file's byte ranges deleted and what is put in their place.
QJsonObject sarifFix(const Finding& finding, const QString& baseDirectory)
{
    QJsonArray replacements;
    for (const TextEdit& edit : finding.fix->edits)
        replacements.append(
            QJsonObject{{QStringLiteral("deletedRegion"), QJsonObject{{QStringLiteral("byteOffset"), edit.offset},
                                                                      {QStringLiteral("byteLength"), edit.length}}},
                        {QStringLiteral("insertedContent"),
                         replacementContent(edit.replacement, QStringLiteral("text"), QStringLiteral("binary"))}});
    const QString kind = finding.fix->safe ? QStringLiteral("safe") : QStringLiteral("unsafe");
    return {
        {QStringLiteral("description"), QJsonObject{{QStringLiteral("text"), finding.fix->title}}},
        {QStringLiteral("artifactChanges"),
         QJsonArray{QJsonObject{{QStringLiteral("artifactLocation"), artifactLocation(finding.fileRead, baseDirectory)},
                                {QStringLiteral("replacements"), replacements}}}},
        {QStringLiteral("properties"), QJsonObject{{QStringLiteral("kind"), kind}}}};
}

} // namespace

QString pathFrom(const QString& baseDirectory, const QString& file)
{
    const QDir base(baseDirectory);
    const QString absolute = QDir::cleanPath(base.absoluteFilePath(file));
    const QString top = QDir::cleanPath(base.absolutePath());
    if (absolute.startsWith(top + QLatin1Char('/')))
        return absolute.mid(top.size() + 1);
    return absolute;
}

QString gnuLine(const Finding& finding, const QString& baseDirectory)
{
    // A one-line form holds no control character: a file name may hold any
    // (the report's texts have them escaped already), and one could forge a
    // line or drive the terminal that shows the log.
    QString line = escapeControlCharacters(pathFrom(baseDirectory, finding.fileRead)) + QLatin1Char(':');
    if (const Position at = editorPosition(finding); at.line > 0) {
        line += QString::number(at.line) + QLatin1Char(':');
        if (at.column > 0)
            line += QString::number(at.column) + QLatin1Char(':');
    }
    return line + QLatin1Char(' ') + severityName(finding.severity) + QLatin1String(": ") +
           escapeControlCharacters(finding.text) + QLatin1String(" [") + finding.messageKey + QLatin1Char(']');
}

QString githubLine(const Finding& finding, const QString& baseDirectory)
{
    static const QString kCommands[] = {QStringLiteral("error"), QStringLiteral("warning"), QStringLiteral("notice")};
    QString line = QLatin1String("::") + kCommands[static_cast<int>(finding.severity)] + QLatin1String(" file=") +
                   githubProperty(pathFrom(baseDirectory, finding.fileRead));
    if (const Position at = editorPosition(finding); at.line > 0) {
        line += QLatin1String(",line=") + QString::number(at.line);
        if (at.column > 0)
            line += QLatin1String(",col=") + QString::number(at.column);
    }
    return line + QLatin1String(",title=") + githubProperty(finding.messageKey) + QLatin1String("::") +
           githubData(finding.text);
}

void addJsonMembers(QJsonObject& line, const Finding& finding)
{
    line.insert(QStringLiteral("id"), finding.messageKey);
    line.insert(QStringLiteral("keyPath"), finding.keyPath);
    if (finding.position.line > 0)
        line.insert(QStringLiteral("line"), finding.position.line);
    if (finding.position.column > 0)
        line.insert(QStringLiteral("column"), finding.position.column);
    QJsonArray arguments;
    for (const std::optional<plist::Value>& argument : finding.arguments)
        arguments.append(argument ? QJsonValue(argument->description()) : QJsonValue());
    line.insert(QStringLiteral("arguments"), arguments);
    if (!finding.fix)
        return;
    QJsonArray edits;
    for (const TextEdit& edit : finding.fix->edits) {
        QJsonObject object =
            replacementContent(edit.replacement, QStringLiteral("replacement"), QStringLiteral("replacementBase64"));
        object.insert(QStringLiteral("offset"), edit.offset);
        object.insert(QStringLiteral("length"), edit.length);
        edits.append(object);
    }
    line.insert(QStringLiteral("fix"), QJsonObject{{QStringLiteral("safe"), finding.fix->safe},
                                                   {QStringLiteral("title"), finding.fix->title},
                                                   {QStringLiteral("edits"), edits}});
}

QJsonObject sarifLog(const QList<Finding>& findings, const SarifTool& tool, const QString& baseDirectory)
{
    // Rules in the order their keys first appear; results refer to them by index.
    std::map<QString, int> ruleIndex;
    QJsonArray rules;
    QJsonArray results;
    for (const Finding& finding : findings) {
        auto [it, added] = ruleIndex.try_emplace(finding.messageKey, static_cast<int>(rules.size()));
        if (added)
            rules.append(sarifRule(finding.messageKey, finding.severity, tool.findingsPage));
        const Position at = editorPosition(finding);
        QJsonObject region;
        if (at.line > 0) {
            region.insert(QStringLiteral("startLine"), at.line);
            if (at.column > 0)
                region.insert(QStringLiteral("startColumn"), at.column);
        } else if (at.offset >= 0) {
            region.insert(QStringLiteral("byteOffset"), at.offset);
        }
        QJsonObject physical{{QStringLiteral("artifactLocation"), artifactLocation(finding.fileRead, baseDirectory)}};
        if (!region.isEmpty())
            physical.insert(QStringLiteral("region"), region);
        QJsonObject location{{QStringLiteral("physicalLocation"), physical}};
        if (!finding.keyPath.isEmpty())
            location.insert(QStringLiteral("logicalLocations"),
                            QJsonArray{QJsonObject{{QStringLiteral("fullyQualifiedName"), finding.keyPath}}});
        QJsonObject result{{QStringLiteral("ruleId"), finding.messageKey},
                           {QStringLiteral("ruleIndex"), it->second},
                           {QStringLiteral("level"), sarifLevel(finding.severity)},
                           {QStringLiteral("message"), QJsonObject{{QStringLiteral("text"), finding.text}}},
                           {QStringLiteral("locations"), QJsonArray{location}}};
        if (finding.fix)
            result.insert(QStringLiteral("fixes"), QJsonArray{sarifFix(finding, baseDirectory)});
        results.append(result);
    }
    const QJsonObject driver{{QStringLiteral("name"), tool.name},
                             {QStringLiteral("version"), tool.version},
                             {QStringLiteral("informationUri"), tool.informationUri},
                             {QStringLiteral("rules"), rules}};
    const QString baseUri =
        QLatin1String("file://") + uriPath(QDir::cleanPath(QDir(baseDirectory).absolutePath()) + QLatin1Char('/'));
    const QJsonObject run{{QStringLiteral("tool"), QJsonObject{{QStringLiteral("driver"), driver}}},
                          {QStringLiteral("originalUriBaseIds"),
                           QJsonObject{{QStringLiteral("SRCROOT"), QJsonObject{{QStringLiteral("uri"), baseUri}}}}},
                          {QStringLiteral("results"), results}};
    return {{QStringLiteral("$schema"), QStringLiteral("https://json.schemastore.org/sarif-2.1.0.json")},
            {QStringLiteral("version"), QStringLiteral("2.1.0")},
            {QStringLiteral("runs"), QJsonArray{run}}};
}

QJsonArray gitlabReport(const QList<Finding>& findings, const QString& baseDirectory)
{
    // GitLab's scale has five steps; a note is for information only.
    static const QString kSeverities[] = {QStringLiteral("major"), QStringLiteral("minor"), QStringLiteral("info")};
    QHash<QByteArray, int> seen;
    QJsonArray issues;
    for (const Finding& finding : findings) {
        const QString path = escapeControlCharacters(pathFrom(baseDirectory, finding.fileRead));
        // Two findings alike in all of these are told apart by their order.
        QByteArray identity = (path + QChar(0) + finding.messageKey + QChar(0) + finding.keyPath).toUtf8();
        identity += '\0' + QByteArray::number(seen[identity]++);
        const Position at = editorPosition(finding);
        issues.append(QJsonObject{
            {QStringLiteral("type"), QStringLiteral("issue")},
            {QStringLiteral("check_name"), finding.messageKey},
            {QStringLiteral("description"), finding.text},
            {QStringLiteral("severity"), kSeverities[static_cast<int>(finding.severity)]},
            {QStringLiteral("fingerprint"),
             QString::fromLatin1(QCryptographicHash::hash(identity, QCryptographicHash::Sha256).toHex())},
            {QStringLiteral("location"),
             QJsonObject{{QStringLiteral("path"), path},
                         // A place is required: the first line where none is known.
                         {QStringLiteral("lines"), QJsonObject{{QStringLiteral("begin"), std::max(at.line, 1)}}}}}});
    }
    return issues;
}

QByteArray junitSuite(const QString& file, const QList<const Finding*>& findings, Severity failOn,
                      const QString& baseDirectory)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    const QString shownFile = escapeControlCharacters(file);
    const auto failing = std::count_if(findings.begin(), findings.end(),
                                       [&](const Finding* finding) { return finding->severity <= failOn; });
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), shownFile);
    xml.writeAttribute(QStringLiteral("tests"), QString::number(std::max<qsizetype>(findings.size(), 1)));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failing));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    if (findings.isEmpty()) {
        xml.writeEmptyElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), shownFile);
        xml.writeAttribute(QStringLiteral("name"), shownFile);
    }
    for (const Finding* finding : findings) {
        const QString keyPath = escapeControlCharacters(finding->keyPath);
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"),
                           escapeControlCharacters(pathFrom(baseDirectory, finding->fileRead)));
        xml.writeAttribute(QStringLiteral("name"),
                           keyPath.isEmpty() ? finding->messageKey : finding->messageKey + QLatin1Char(' ') + keyPath);
        const QString line = gnuLine(*finding, baseDirectory);
        if (finding->severity <= failOn) {
            xml.writeStartElement(QStringLiteral("failure"));
            xml.writeAttribute(QStringLiteral("type"), severityName(finding->severity));
            xml.writeAttribute(QStringLiteral("message"), escapeControlCharacters(finding->text));
            xml.writeCharacters(line);
            xml.writeEndElement();
        } else {
            xml.writeTextElement(QStringLiteral("system-out"), line);
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    // The writer opens an element on a line of its own, the first one too.
    return out.mid(out.startsWith('\n') ? 1 : 0) + '\n';
}

} // namespace report
