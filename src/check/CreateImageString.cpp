#include "check/CreateImageString.h"

#include "platform/Bundle.h"

#include <QFile>
#include <QFileInfo>

namespace check {

std::unique_ptr<report::StyledString> CreateImageString(const QString& resourceName)
{
    const QString path = platform::Bundle::main().pathForResource(resourceName);
    if (path.isEmpty())
        return nullptr;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    auto attachment = std::make_shared<report::TextAttachment>();
    attachment->fileName = QFileInfo(resourceName).fileName();
    attachment->contents = file.readAll();

    auto run = std::make_unique<report::StyledString>();
    run->text = QString(QChar(report::kAttachmentCharacter));
    run->attachment = std::move(attachment);
    return run;
}

} // namespace check
