// Parse throughput of our reader and libplist's on the same bytes:
// parse/<document>/<format>/<reader>, in bytes per second. The reader
// "ostrel-no-positions" is ours without noting where values start.
#include "plist/Parse.h"

#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <QFile>

#include <cstdio>
#include <string>

namespace {

QByteArray readDocument(const QString& name)
{
    const QByteArray dir =
        qEnvironmentVariableIsSet("OSTREL_BENCH_DATA") ? qgetenv("OSTREL_BENCH_DATA") : QByteArray(OSTREL_BENCH_DATA);
    QFile file(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
    return file.readAll();
}

void parseOurs(benchmark::State& state, const QByteArray& bytes, const plist::ParseOptions& options)
{
    for (auto _ : state) {
        plist::ParseResult result = plist::parse(bytes, options);
        if (!result.ok()) {
            state.SkipWithError(qPrintable(result.errorText()));
            return;
        }
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes.size());
}

void parseLibplist(benchmark::State& state, const QByteArray& bytes, bool binary)
{
    for (auto _ : state) {
        plist_t root = nullptr;
        if (binary)
            plist_from_bin(bytes.constData(), static_cast<std::uint32_t>(bytes.size()), &root);
        else
            plist_from_xml(bytes.constData(), static_cast<std::uint32_t>(bytes.size()), &root);
        if (!root) {
            state.SkipWithError("libplist could not parse the document");
            return;
        }
        plist_free(root);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes.size());
}

} // namespace

int main(int argc, char** argv)
{
    struct Format {
        const char* name;
        const char* extension;
        bool libplistReads; // libplist 2.2 has no reader of the old text form
        bool binary;
    };
    const Format formats[] = {
        {"xml", "xml.plist", true, false},
        {"binary", "bplist", true, true},
        {"oldstyle", "oldstyle.plist", false, false},
    };
    for (const char* document : {"typical", "big"}) {
        for (const Format& format : formats) {
            const QByteArray bytes =
                readDocument(QString::fromLatin1(document) + QLatin1Char('.') + QLatin1String(format.extension));
            const std::string base = std::string("parse/") + document + "/" + format.name + "/";
            benchmark::RegisterBenchmark((base + "ostrel").c_str(), parseOurs, bytes, plist::ParseOptions{});
            // What noting the positions costs: the same without them.
            benchmark::RegisterBenchmark((base + "ostrel-no-positions").c_str(), parseOurs, bytes,
                                         plist::ParseOptions{false});
            if (format.libplistReads)
                benchmark::RegisterBenchmark((base + "libplist").c_str(), parseLibplist, bytes, format.binary);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
