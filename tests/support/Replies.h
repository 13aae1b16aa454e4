#pragma once

#include <QByteArray>
#include <QList>

// Replies in the forms the registries send, for a name `d` as the server was asked it.
namespace Replies {

// Terms of use as ordinary replies carry them, full of words about limits.
extern const QByteArray Terms;
extern const QByteArray Marker; // InterNIC's and .name's completion line

// `text` with `line` appended while it fits in `size` bytes.
QByteArray pad(QByteArray text, qsizetype size, const QByteArray &line = Terms);

// InterNIC (.com .net): record first, marker at about byte 1,240, notice and terms to 3,500.
QByteArray internic(const QByteArray &d, bool taken);
// .name: a long disclaimer, then the record (in the older layout: "Domain Name ID:"), terms, marker.
QByteArray dotName(const QByteArray &d, bool taken);
// CNNIC: bare LF; the expiration line past byte 500.
QByteArray cnnic(const QByteArray &d, bool taken);
// .la: record or "DOMAIN NOT FOUND", update line, terms to 1,500.
QByteArray dotLa(const QByteArray &d, bool taken);
// .me and .biz in their older layouts: the record below a header of more than 1,000 bytes.
QByteArray dotMe(const QByteArray &d, bool taken);
QByteArray dotBiz(const QByteArray &d, bool taken);

// Refusals in the forms registries send them.
QList<QByteArray> limits();

} // namespace Replies
