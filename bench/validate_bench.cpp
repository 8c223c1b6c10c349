// Validating an information dictionary against the shipped rules, beside
// parsing the same file: a check should spend less on the first than on the
// second. Each sample is measured both ways in one run. And a file of 100,000
// unknown keys checked without and with the places of its findings.
#include "check/MessageFormat.h"
#include "check/PlistValidator.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "plist/Parse.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

namespace {

// The samples live in the source tree beside this file.
QString sourcePath(const char* relative)
{
    const std::filesystem::path root = std::filesystem::path(__FILE__).parent_path().parent_path();
    return QString::fromStdString((root / relative).string());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Formats each message as the report would, and keeps only its length.
class CountingLogger : public check::MessageLogger {
public:
    void appendNoteIcon() override { ++findings; }
    void appendWarningIcon() override { ++findings; }
    void appendErrorIcon() override { ++findings; }
    void appendWithFormat(const QString& format, const check::FormatArgs& args) override
    {
        characters += check::formatMessage(format, args).size();
    }
    void appendBoldString(const QString& text) override { characters += text.size(); }
    void appendString(const QString& text) override { characters += text.size(); }

    long findings = 0;
    long characters = 0;
};

struct Setup {
    Setup()
    {
        // Settings as a fresh user has them, kept apart from the real ones.
        platform::UserDefaults& defaults = platform::UserDefaults::standard();
        defaults.useStore(std::make_unique<QSettings>(dir.filePath(QStringLiteral("bench.ini")), QSettings::IniFormat));
        defaults.registerDefaults({{platform::DeprecationNotesKey, true}, {platform::NoteUnknownKeysKey, true}});
        const plist::ParseResult parsed =
            plist::parse(readFile(platform::Bundle::main().pathForResource(QStringLiteral("rules.plist"))));
        if (parsed.ok())
            rules = *parsed.value;
    }
    QTemporaryDir dir;
    plist::Value rules;
};

const Setup& setup()
{
    static const Setup instance;
    return instance;
}

void BM_Parse(benchmark::State& state, const char* sample)
{
    const QByteArray bytes = readFile(sourcePath(sample));
    if (!plist::parse(bytes).ok()) {
        state.SkipWithError("sample missing or unparsable");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(plist::parse(bytes));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes.size());
}

void BM_Validate(benchmark::State& state, const char* sample)
{
    const QByteArray bytes = readFile(sourcePath(sample));
    const plist::ParseResult parsed = plist::parse(bytes);
    if (!parsed.ok() || !parsed.value->isDictionary() || !setup().rules.isDictionary()) {
        state.SkipWithError("sample or rules missing or unparsable");
        return;
    }
    CountingLogger logger;
    check::PlistValidator validator(logger);
    for (auto _ : state)
        validator.validateInfoDict(parsed.value->toDictionary(), &setup().rules);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes.size());
    state.counters["findings"] = static_cast<double>(logger.findings) / static_cast<double>(state.iterations());
}

// A check that writes a finding's place beside it: the logger above, asking
// the parse's positions for each finding's key path as the report's records do.
class PlacingLogger : public CountingLogger {
public:
    explicit PlacingLogger(const plist::Positions& positions) : mPositions(positions) {}
    void appendMessageWithArgs(const char* messageKey, const QString& keyPath, const check::FormatArgs& args) override
    {
        if (const std::optional<plist::Positions::Place> place = mPositions.find(keyPath))
            placed += place->key.line > 0 ? 1 : 0;
        CountingLogger::appendMessageWithArgs(messageKey, keyPath, args);
    }
    long placed = 0;

private:
    const plist::Positions& mPositions;
};

// 100,000 unknown keys, each a note, parsed and checked: without positions
// (none noted while parsing, none looked up), and with each finding's place
// looked up. The second should take at most twice as long as the first.
QByteArray unknownKeys()
{
    QByteArray text = "<plist><dict>\n";
    for (int i = 0; i < 100000; ++i)
        text += "<key>XUnknownKey" + QByteArray::number(i).rightJustified(6, '0') + "</key><string>v</string>\n";
    return text + "</dict></plist>\n";
}

void BM_UnknownKeys(benchmark::State& state, bool withPositions)
{
    static const QByteArray bytes = unknownKeys();
    long findings = 0;
    for (auto _ : state) {
        const plist::ParseResult parsed = plist::parse(bytes, plist::ParseOptions{withPositions});
        if (!parsed.ok() || (withPositions && !parsed.positions)) {
            state.SkipWithError("the generated file does not parse");
            return;
        }
        std::unique_ptr<CountingLogger> logger =
            withPositions ? std::make_unique<PlacingLogger>(*parsed.positions) : std::make_unique<CountingLogger>();
        check::PlistValidator validator(*logger);
        validator.validateInfoDict(parsed.value->toDictionary(), &setup().rules);
        findings = logger->findings;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes.size());
    state.counters["findings"] = static_cast<double>(findings);
}

BENCHMARK_CAPTURE(BM_UnknownKeys, without_positions, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_UnknownKeys, with_positions, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Parse, app, "tests/data/info-plists/app.plist");
BENCHMARK_CAPTURE(BM_Validate, app, "tests/data/info-plists/app.plist");
BENCHMARK_CAPTURE(BM_Parse, ios_app, "tests/data/info-plists/ios-app.plist");
BENCHMARK_CAPTURE(BM_Validate, ios_app, "tests/data/info-plists/ios-app.plist");
BENCHMARK_CAPTURE(BM_Parse, framework, "tests/data/info-plists/framework.plist");
BENCHMARK_CAPTURE(BM_Validate, framework, "tests/data/info-plists/framework.plist");
BENCHMARK_CAPTURE(BM_Parse, wrong_app, "tests/data/info-plists/wrong-app.plist");
BENCHMARK_CAPTURE(BM_Validate, wrong_app, "tests/data/info-plists/wrong-app.plist");

} // namespace

BENCHMARK_MAIN();
