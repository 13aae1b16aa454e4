#include "text/Gb18030.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Gb18030 {

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder("GB18030", QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    if (!decoder.isValid()) // no ICU: nothing better than Latin-1 keeps every byte
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

QByteArray encode(const QString &text)
{
    QStringEncoder encoder("GB18030", QStringEncoder::Flag::Stateless);
    if (!encoder.isValid())
        return text.toUtf8();
    return encoder.encode(text);
}

} // namespace Gb18030
