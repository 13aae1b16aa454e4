#include "text/Gb18030.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Gb18030 {

namespace {
// Where the last complete character ends: a text cut inside a two- or four-byte sequence
// leaves a tail the decoder would drop without a trace.
qsizetype completeLength(QByteArrayView bytes)
{
    const auto byte = [&bytes](qsizetype i) { return quint8(bytes.at(i)); };
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype start = i;
        if (byte(i) < 0x81 || byte(i) == 0xFF) {
            ++i;
            continue;
        }
        if (i + 1 >= n)
            return start;
        if (byte(i + 1) >= 0x30 && byte(i + 1) <= 0x39) {
            if (i + 3 >= n)
                return start;
            i += 4;
        } else {
            i += 2;
        }
    }
    return n;
}

// A byte-order mark stays in the text: a line or file that begins with one is passed on whole.
QStringDecoder makeDecoder()
{
    return QStringDecoder("GB18030", QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
}

QString decodeWith(QStringDecoder &decoder, QByteArrayView bytes)
{
    if (!decoder.isValid()) // no ICU: nothing better than Latin-1 keeps every byte
        return QString::fromLatin1(bytes);
    const qsizetype complete = completeLength(bytes);
    QString text = decoder.decode(bytes.first(complete));
    if (complete < bytes.size())
        text += QChar(QChar::ReplacementCharacter);
    return text;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (quint8(c) >= 0x80)
            return false;
    }
    return true;
}
} // namespace

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder = makeDecoder();
    return decodeWith(decoder, bytes);
}

QStringList decodeEach(const QList<QByteArrayView> &pieces)
{
    QStringDecoder decoder = makeDecoder();
    QStringList texts;
    texts.reserve(pieces.size());
    for (const QByteArrayView piece : pieces) {
        // ASCII is the same bytes in GB18030, and most list lines are ASCII.
        texts.append(isAscii(piece) ? QString::fromLatin1(piece) : decodeWith(decoder, piece));
    }
    return texts;
}

QByteArray encode(const QString &text)
{
    QStringEncoder encoder("GB18030", QStringEncoder::Flag::Stateless);
    if (!encoder.isValid())
        return text.toUtf8();
    return encoder.encode(text);
}

} // namespace Gb18030
