#include "check/DiskImageCheck.h"

#include "check/OstrelAppDelegate.h"
#include "check/ProductTree.h"
#include "check/ProductWalk.h"
#include "platform/DiskImage.h"

namespace check {

namespace {

// The unpacked image, its files named as inside the image.
class ImageTree : public DiskTree {
public:
    ImageTree(const QString& folder, QString shownAs) : DiskTree(folder), mShownAs(std::move(shownAs)) {}
    QString displayPath(const QString& path) const override { return joinPath(mShownAs, path); }

private:
    QString mShownAs;
};

} // namespace

bool CheckDiskImage(OstrelAppDelegate& controller, const QString& path, const QString& displayName, bool nested)
{
    controller.appendHeading(displayName, path);
    const platform::UnpackedImage image = platform::unpackDiskImage(path, platform::findSevenZip());
    if (image.licenceAgreement) {
        controller.addFinding(report::FindingId::DiskImageLicence, QString());
    }
    switch (image.status) {
    case platform::UnpackedImage::Status::NoProgram:
        controller.addFinding(report::FindingId::DiskImage, QString());
        return false;
    case platform::UnpackedImage::Status::Encrypted:
        controller.addFinding(report::FindingId::DiskImageEncrypted, QString());
        return false;
    case platform::UnpackedImage::Status::Failed:
        controller.addFinding(report::FindingId::DiskImageErr, QString(), image.error);
        return false;
    case platform::UnpackedImage::Status::Unpacked: break;
    }
    const ImageTree tree(image.folder, path);
    if (CheckTreeTop(controller, tree, displayName, nested) == 0) {
        controller.addFinding(report::FindingId::ArchiveEmpty, QString());
    }
    return true;
}

} // namespace check
