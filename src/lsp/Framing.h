// The base protocol of the language server: messages as JSON bodies, each
// after a header whose Content-Length gives the body's size in bytes.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace lsp {

// Cuts a byte stream into message bodies. A header that cannot be read (no
// Content-Length, one that is no number, or one past kMaxBody) is told once
// and skipped: reading goes on at the next header, so one bad frame costs the
// client that message, not the connection.
class FrameReader {
public:
    // No editor sends a document this large; a body past it is refused unread.
    static constexpr qsizetype kMaxBody = 64 * 1024 * 1024;
    // A header longer than this has lost its end.
    static constexpr qsizetype kMaxHeader = 8 * 1024;

    struct Frame {
        QByteArray body;
        QString error; // set for a frame that was skipped
    };

    void feed(QByteArrayView bytes) { mBuffer.append(bytes); }
    // The next body, or the error of a skipped frame; none until more bytes come.
    std::optional<Frame> next();

private:
    // Drops the bytes up to the next header after from.
    void skipToHeader(qsizetype from);

    QByteArray mBuffer;
    qsizetype mStart = 0;       // where the next header begins in mBuffer
    qsizetype mBodyLength = -1; // of the frame whose header was read, until its body is whole
};

// A body framed for writing.
QByteArray frame(const QByteArray& body);

} // namespace lsp
