#include "text/Gb18030.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Gb18030 {

namespace {
// Where the last complete character ends: a text cut inside a two- or four-byte sequence
// leaves a tail the decoder would drop without a trace.
qsizetype completeLength(const QByteArray &bytes)
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
} // namespace

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder("GB18030", QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    if (!decoder.isValid()) // no ICU: nothing better than Latin-1 keeps every byte
        return QString::fromLatin1(bytes);
    const qsizetype complete = completeLength(bytes);
    QString text = decoder.decode(QByteArrayView(bytes).first(complete));
    if (complete < bytes.size())
        text += QChar(QChar::ReplacementCharacter);
    return text;
}

QByteArray encode(const QString &text)
{
    QStringEncoder encoder("GB18030", QStringEncoder::Flag::Stateless);
    if (!encoder.isValid())
        return text.toUtf8();
    return encoder.encode(text);
}

} // namespace Gb18030
