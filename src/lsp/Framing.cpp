#include "lsp/Framing.h"

#include <QList>

#include <algorithm>

namespace lsp {

namespace {

const QByteArray kContentLength = QByteArrayLiteral("content-length");

} // namespace

void FrameReader::skipToHeader(qsizetype from)
{
    const qsizetype at = mBuffer.toLower().indexOf(kContentLength, from);
    mStart = at < 0 ? mBuffer.size() : at;
    // Keep a tail that may be the start of a header cut off by the read.
    if (at < 0)
        mStart = std::max(from, mBuffer.size() - kContentLength.size());
}

std::optional<FrameReader::Frame> FrameReader::next()
{
    if (mStart > 0 && mStart >= mBuffer.size() / 2) {
        mBuffer.remove(0, mStart);
        mStart = 0;
    }
    if (mBodyLength < 0) {
        const qsizetype end = mBuffer.indexOf("\r\n\r\n", mStart);
        if (end < 0) {
            if (mBuffer.size() - mStart <= kMaxHeader)
                return std::nullopt;
            skipToHeader(mStart + 1);
            return Frame{{}, QStringLiteral("a header of more than %1 bytes without its end").arg(kMaxHeader)};
        }
        std::optional<qint64> length;
        bool readable = true;
        for (const QByteArray& line : mBuffer.mid(mStart, end - mStart).split('\n')) {
            const QByteArray field = line.trimmed();
            const qsizetype colon = field.indexOf(':');
            if (colon <= 0) {
                readable = false;
                continue;
            }
            if (field.left(colon).trimmed().toLower() != kContentLength)
                continue; // Content-Type and whatever else comes
            bool ok = false;
            const qint64 value = field.mid(colon + 1).trimmed().toLongLong(&ok);
            length = ok && value >= 0 ? std::optional(value) : std::optional<qint64>(-1);
        }
        if (!readable || !length || *length < 0) {
            skipToHeader(mStart + 1);
            return Frame{{}, QStringLiteral("a header without a valid Content-Length")};
        }
        if (*length > kMaxBody) {
            skipToHeader(end + 4);
            return Frame{
                {}, QStringLiteral("a Content-Length of %1 bytes, more than the %2 taken").arg(*length).arg(kMaxBody)};
        }
        mBodyLength = *length;
        mStart = end + 4;
    }
    if (mBuffer.size() - mStart < mBodyLength)
        return std::nullopt;
    Frame frame{mBuffer.mid(mStart, mBodyLength), {}};
    mStart += mBodyLength;
    mBodyLength = -1;
    return frame;
}

QByteArray frame(const QByteArray& body)
{
    return QByteArrayLiteral("Content-Length: ") + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace lsp
