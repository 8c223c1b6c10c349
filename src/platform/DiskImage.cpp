#include "platform/DiskImage.h"

#include "platform/ByteSource.h"
#include "platform/FileUrl.h"
#include "platform/Interruption.h"
#include "platform/UserDefaults.h"
#include "plist/Parse.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <QtEndian>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The UDIF trailer: its last 512 bytes, where the property list of its
// resources (a licence agreement among them) is found.
constexpr std::uint64_t kTrailerSize = 512;
constexpr std::uint64_t kTrailerXmlOffset = 0xD8;
constexpr std::uint64_t kMaxResourceList = 16 * 1024 * 1024;

std::uint64_t bigEndian64(const QByteArray& bytes, std::uint64_t at)
{
    return qFromBigEndian<quint64>(bytes.constData() + at);
}

bool holdsLicenceAgreement(const FileSource& file, const QByteArray& trailer)
{
    const std::uint64_t offset = bigEndian64(trailer, kTrailerXmlOffset);
    const std::uint64_t length = bigEndian64(trailer, kTrailerXmlOffset + 8);
    if (length == 0 || length > kMaxResourceList || offset > file.size() || length > file.size() - offset)
        return false;
    const Result<QByteArray> xml = file.read(offset, length);
    if (!xml)
        return false;
    const plist::ParseResult parsed = plist::parse(*xml, plist::ParseOptions{.positions = false});
    if (!parsed.ok() || !parsed.value->isDictionary())
        return false;
    const plist::Value* resources = parsed.value->toDictionary().find(QStringLiteral("resource-fork"));
    return resources && resources->isDictionary() && resources->toDictionary().contains(QStringLiteral("LPic"));
}

// 7-Zip's own words on what went wrong, without the image's path it repeats.
QString childError(const QByteArray& output, const QString& path)
{
    QStringList lines;
    for (QString line : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1String("ERROR:")))
            line = line.mid(6).trimmed();
        if (line.endsWith(QLatin1String(" : ") + path))
            line.chop(path.size() + 3);
        if (line.isEmpty() || line == path)
            continue;
        if (!lines.contains(line))
            lines << line;
    }
    const QString text = lines.mid(0, 2).join(QLatin1String("; "));
    return text.isEmpty() ? QStringLiteral("7-Zip could not read it") : text.left(400);
}

struct ChildRun {
    bool ran = false;
    bool timedOut = false;
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

ChildRun runChild(const QString& program, const QStringList& arguments, const QString& folder,
                  const DiskImageLimits& limits)
{
    QProcess child;
    child.setWorkingDirectory(folder);
    child.setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    child.setProcessEnvironment(environment);
    const rlim_t fileSize = rlim_t(limits.maxTotalBytes);
    child.setChildProcessModifier([fileSize] {
        // No file the child writes grows past what a whole image may unpack to.
        const struct rlimit limit {
            fileSize, fileSize
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    ChildRun run;
    child.start(program, arguments);
    if (!child.waitForStarted())
        return run;
    run.ran = true;
    const auto deadline = std::chrono::steady_clock::now() + limits.timeout;
    while (!child.waitForFinished(100)) {
        run.output += child.readAllStandardOutput();
        run.errors += child.readAllStandardError();
        if (child.state() == QProcess::NotRunning)
            break;
        if (std::chrono::steady_clock::now() >= deadline || InterruptionGuard::interrupted()) {
            run.timedOut = true;
            child.kill();
            child.waitForFinished(-1);
            return run;
        }
    }
    run.output += child.readAllStandardOutput();
    run.errors += child.readAllStandardError();
    run.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    return run;
}

bool onlyLinksLeftOut(const QByteArray& errors)
{
    bool any = false;
    for (const QByteArray& line : errors.split('\n')) {
        if (!line.startsWith("ERROR: "))
            continue;
        if (!line.startsWith("ERROR: Dangerous link "))
            return false;
        any = true;
    }
    return any;
}

bool saysEncrypted(const ChildRun& run)
{
    const QByteArray all = run.output + run.errors;
    return all.contains("Wrong password") || all.contains("encrypted archive");
}

} // namespace

QString findSevenZip(const QString& name)
{
    const QString named = name.isEmpty() ? UserDefaults::standard().valueForKey(SevenZipProgramKey).toString() : name;
    if (!named.isEmpty()) {
        if (!named.contains(QLatin1Char('/')))
            return QStandardPaths::findExecutable(named);
        const QFileInfo info(named);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    for (const char* program : {"7zz", "7z", "7za"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(program));
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

DiskImageTraits diskImageTraits(const QString& path)
{
    DiskImageTraits traits;
    const FileSource::Opened opened = FileSource::open(path);
    if (!opened.file)
        return traits;
    const FileSource& file = *opened.file;
    // What cannot be read is no mark of either.
    const QByteArray first = file.read(0, 8).take().value_or(QByteArray());
    const QByteArray trailer = file.size() >= kTrailerSize
                                   ? file.read(file.size() - kTrailerSize, kTrailerSize).take().value_or(QByteArray())
                                   : QByteArray();
    traits.encrypted = first == "encrcdsa" || trailer.endsWith("cdsaencr");
    if (trailer.size() == qsizetype(kTrailerSize) && trailer.startsWith("koly"))
        traits.licenceAgreement = holdsLicenceAgreement(file, trailer);
    return traits;
}

UnpackedImage::~UnpackedImage()
{
    if (mTemporary)
        removeFolder(mTemporary->path());
    mTemporary.reset();
}

void removeFolder(const QString& path)
{
    // 7-Zip keeps the modes the image gave, read-only folders too.
    QDirIterator folders(path, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                         QDirIterator::Subdirectories);
    while (folders.hasNext()) {
        const QFileInfo folder = folders.nextFileInfo();
        if (!folder.isSymLink())
            ::chmod(QFile::encodeName(folder.filePath()).constData(), S_IRWXU);
    }
    QDir(path).removeRecursively();
}

UnpackedImage unpackDiskImage(const QString& path, const QString& program, const DiskImageLimits& limits)
{
    UnpackedImage image;
    const DiskImageTraits traits = diskImageTraits(path);
    image.licenceAgreement = traits.licenceAgreement;
    if (traits.encrypted) {
        image.status = UnpackedImage::Status::Encrypted;
        return image;
    }
    if (program.isEmpty()) {
        image.status = UnpackedImage::Status::NoProgram;
        return image;
    }
    image.mGuard = std::make_unique<InterruptionGuard>();
    image.mTemporary =
        std::make_unique<QTemporaryDir>(QDir(QDir::tempPath()).filePath(QStringLiteral("ostrel-image-XXXXXX")));
    if (!image.mTemporary->isValid()) {
        image.error = QStringLiteral("no temporary folder could be made: %1").arg(image.mTemporary->errorString());
        image.mTemporary.reset();
        return image;
    }
    image.mTemporary->setAutoRemove(false); // removeFolder does it, read-only folders too
    const QString temporary = image.mTemporary->path();
    ::chmod(QFile::encodeName(temporary).constData(), S_IRWXU);
    const QString absolute = absoluteFilePath(path);

    // The list first: an image past the limits is never unpacked.
    const ChildRun list = runChild(program,
                                   {QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("-ba"),
                                    QStringLiteral("-p-"), QStringLiteral("-sccUTF-8"), QStringLiteral("--"), absolute},
                                   temporary, limits);
    // 7-Zip leaves out links with ".." in their targets (each an error of its
    // own), lest a later entry be written through one; they are made once it is done.
    const auto failed = [&](const ChildRun& run, bool linksLeftOut = false) {
        if (!run.ran)
            image.error = QStringLiteral("7-Zip (%1) could not be run").arg(program);
        else if (run.timedOut)
            image.error = QStringLiteral("7-Zip took longer than %1 seconds")
                              .arg(std::chrono::duration_cast<std::chrono::seconds>(limits.timeout).count());
        else if (saysEncrypted(run))
            image.status = UnpackedImage::Status::Encrypted;
        else if (run.exitCode != 0 && run.exitCode != 1 && !(linksLeftOut && onlyLinksLeftOut(run.errors)))
            image.error = childError(run.errors.isEmpty() ? run.output : run.errors, absolute); // 1: warnings only
        else
            return false;
        return true;
    };
    if (failed(list))
        return image;
    std::uint64_t entries = 0;
    std::uint64_t bytes = 0;
    QList<std::pair<QByteArray, QByteArray>> links; // path, target
    QByteArray entryPath;
    for (const QByteArray& line : list.output.split('\n')) {
        if (line.startsWith("Path = ")) {
            ++entries;
            entryPath = line.mid(7);
        } else if (line.startsWith("Size = ")) {
            bytes += line.mid(7).trimmed().toULongLong();
        } else if (line.startsWith("Alternate Stream = +")) {
            --entries;
        } else if (line.startsWith("Symbolic Link = ") && line.size() > 16) {
            links.append({entryPath, line.mid(16)});
        }
    }
    if (entries > limits.maxEntries) {
        image.error = QStringLiteral("it holds more than %1 entries").arg(limits.maxEntries);
        return image;
    }
    if (bytes > limits.maxTotalBytes) {
        image.error = QStringLiteral("it unpacks to more than %1 bytes").arg(limits.maxTotalBytes);
        return image;
    }

    const QString folder = QDir(temporary).filePath(QStringLiteral("image"));
    const ChildRun unpack =
        runChild(program,
                 {QStringLiteral("x"), QStringLiteral("-p-"), QStringLiteral("-y"), QStringLiteral("-bd"),
                  QStringLiteral("-sns-"), QStringLiteral("-snl"), QStringLiteral("-sccUTF-8"),
                  QStringLiteral("-o") + folder, QStringLiteral("--"), absolute},
                 temporary, limits);
    if (failed(unpack, true))
        return image;
    if (!QFileInfo(folder).isDir()) {
        image.error = QStringLiteral("7-Zip unpacked nothing from it");
        return image;
    }
    for (const auto& [link, target] : links) {
        const QString inside = QString::fromUtf8(link);
        if (inside.startsWith(QLatin1Char('/')) || inside.split(QLatin1Char('/')).contains(QLatin1String("..")))
            continue;
        const QByteArray at = QFile::encodeName(QDir(folder).filePath(inside));
        // In its place 7-Zip may have left an empty file.
        struct stat info {};
        const bool there = ::lstat(at.constData(), &info) == 0;
        if (there && !(S_ISREG(info.st_mode) && info.st_size == 0))
            continue;
        if (there)
            ::unlink(at.constData());
        (void)::symlink(target.constData(), at.constData());
    }
    image.folder = folder;
    image.status = UnpackedImage::Status::Unpacked;
    return image;
}

} // namespace platform
