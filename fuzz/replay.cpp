// A fuzz target's entry point run on files, without libFuzzer, so that every
// build replays the seeds and the inputs that once made a target fail.
//   replay_NAME PATH...    each PATH a file or a folder of files
// A crash or an abort of the target fails the run; so does a PATH that holds
// no input, so that a misspelt folder cannot pass for a clean one.
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

QStringList inputsAt(const QString& path)
{
    if (!QFileInfo(path).isDir())
        return QFileInfo::exists(path) ? QStringList{path} : QStringList{};
    QStringList files;
    QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort(); // the same order on every machine
    return files;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH...\n", argv[0]);
        return 2;
    }
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const QString path = QFile::decodeName(argv[i]);
        const QStringList files = inputsAt(path);
        if (files.isEmpty()) {
            std::fprintf(stderr, "replay: no input at %s\n", argv[i]);
            return 2;
        }
        for (const QString& name : files) {
            QFile file(name);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "replay: cannot read %s\n", qPrintable(name));
                return 2;
            }
            const QByteArray bytes = file.readAll();
            // Named first: a crash leaves this as the last line.
            std::printf("%s\n", qPrintable(name));
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size()));
            ++count;
        }
    }
    std::printf("replay: %d inputs, all clean\n", count);
    return 0;
}
