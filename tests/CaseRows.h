// The case tables under tests/data/cases, shared by every test folder.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

// The rows of tests/data/cases/<name>: tab-separated fields; blank lines and
// lines starting with '#' are comments.
inline std::vector<QStringList> caseRows(const QString& name)
{
    QFile file(qEnvironmentVariable("OSTREL_TEST_DATA") + QStringLiteral("/cases/") + name);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read the cases " << name.toStdString();
    std::vector<QStringList> rows;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            rows.push_back(QString::fromUtf8(line).split(QLatin1Char('\t')));
    EXPECT_FALSE(rows.empty()) << name.toStdString();
    return rows;
}

// A field's bytes: \n, \r, \t, \\ and \xHH stand for the bytes they name.
inline QByteArray unescaped(const QString& field)
{
    const QByteArray in = field.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 == in.size()) {
            out += in[i];
            continue;
        }
        const char c = in[++i];
        if (c == 'x') {
            out += static_cast<char>(in.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        }
    }
    return out;
}
