#include "generation/CharTables.h"

QString CharTables::defaultRule()
{
    return QStringLiteral("[ni,wo,ta,c,a,d][数字][声母][韵母][字母][随机]");
}
