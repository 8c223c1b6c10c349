// Disk images (.dmg) through 7-Zip, run as a child process: it lists the
// image, and when the list keeps to the limits, unpacks it into a private
// folder (mode 0700, under $TMPDIR) that goes away with the UnpackedImage,
// whatever way the check leaves.
#pragma once

#include "platform/Interruption.h"

#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <memory>

namespace platform {

// The 7-Zip program to run: the one named (by the setting when name is
// empty), else 7zz, 7z or 7za on PATH; empty when there is none.
QString findSevenZip(const QString& name = QString());

struct DiskImageLimits {
    std::uint64_t maxEntries = 50'000;
    std::uint64_t maxTotalBytes = 4ull * 1024 * 1024 * 1024;
    // For each run of the child, listing and unpacking alike.
    std::chrono::milliseconds timeout = std::chrono::minutes(2);
};

// What the image's trailer and first bytes tell without 7-Zip.
struct DiskImageTraits {
    bool encrypted = false;
    bool licenceAgreement = false; // shown when the image is mounted
};
DiskImageTraits diskImageTraits(const QString& path);

class UnpackedImage {
public:
    enum class Status { Unpacked, NoProgram, Encrypted, Failed };
    Status status = Status::Failed;
    QString error;  // why it failed, for the report
    QString folder; // the image's files, when unpacked
    bool licenceAgreement = false;

    UnpackedImage() = default;
    UnpackedImage(UnpackedImage&&) = default;
    UnpackedImage& operator=(UnpackedImage&&) = default;
    ~UnpackedImage();

private:
    friend UnpackedImage unpackDiskImage(const QString&, const QString&, const DiskImageLimits&);
    // A signal meanwhile ends the run only once the folder is gone.
    std::unique_ptr<InterruptionGuard> mGuard;
    std::unique_ptr<QTemporaryDir> mTemporary;
};

// program: the 7-Zip program (findSevenZip); empty gives Status::NoProgram.
UnpackedImage unpackDiskImage(const QString& path, const QString& program, const DiskImageLimits& limits = {});

// Removes the folder and all it holds, its read-only folders too; a link
// inside it is removed, never followed.
void removeFolder(const QString& path);

} // namespace platform
