// ostrel-check: placeholder entry until the command-line checker lands.
#include "plist/Parse.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int status = 0;
    for (const QString& path : app.arguments().mid(1)) {
        if (path.startsWith(QLatin1String("--")))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "%s: error: %s\n", qPrintable(path), qPrintable(file.errorString()));
            status = 1;
            continue;
        }
        const plist::ParseResult result = plist::parse(file.readAll());
        if (!result.ok()) {
            std::fprintf(stderr, "%s: error: %s\n", qPrintable(path), qPrintable(result.error));
            status = 1;
        } else {
            std::printf("%s\n", qPrintable(result.value->description()));
        }
    }
    return status;
}
