#include "check/CreateImageString.h"

#include "platform/Bundle.h"

#include <QFile>
#include <QFileInfo>

namespace check {

std::unique_ptr<StyledString> CreateImageString(const QString& resourceName)
{
    const QString path = platform::Bundle::main().pathForResource(resourceName);
    if (path.isEmpty())
        return nullptr;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    auto attachment = std::make_shared<TextAttachment>();
    attachment->fileName = QFileInfo(resourceName).fileName();
    attachment->contents = file.readAll();

    auto run = std::make_unique<StyledString>();
    run->text = QString(QChar(kAttachmentCharacter));
    run->attachment = std::move(attachment);
    return run;
}

} // namespace check
