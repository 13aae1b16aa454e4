#include "Replies.h"

namespace Replies {

const QByteArray Terms =
    "TERMS OF USE: You are not authorized to access or query our Whois database through the use of\r\n"
    "electronic processes that are high-volume and automated. Queries are subject to a rate limit;\r\n"
    "too many queries are throttled and excessive querying may get your access restricted.\r\n";
const QByteArray Marker = ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";

QByteArray pad(QByteArray text, qsizetype size, const QByteArray &line)
{
    while (text.size() + line.size() <= size)
        text += line;
    return text;
}

QByteArray internic(const QByteArray &d, bool taken)
{
    const QByteArray U = d.toUpper();
    const QByteArray record = pad("   Domain Name: " + U + "\r\n   Registry Domain ID: 2138514_DOMAIN_COM-VRSN\r\n", 250,
                                  "   Domain Status: clientTransferProhibited\r\n")
                              + "   Registry Expiry Date: 2028-09-14T04:00:00Z\r\n";
    const QByteArray head = taken ? pad(record, 1240, "   Name Server: NS1.EXAMPLE.TEST\r\n") : "No match for \"" + U + "\".\r\n";
    return pad(head + Marker + "NOTICE: The expiration date displayed in this record is the date the\r\n", 3500);
}

QByteArray dotName(const QByteArray &d, bool taken)
{
    return pad("", 1300, "Disclaimer: this service is offered for lookups of single names.\r\n")
           + (taken ? "Domain Name ID: 1802345_DOMAIN_NAME-VRSN\r\nDomain Name: " + d.toUpper() + "\r\n"
                    : "No match for \"" + d.toUpper() + "\".\r\n")
           + Terms + Marker;
}

QByteArray cnnic(const QByteArray &d, bool taken)
{
    if (!taken)
        return "No matching record.\n";
    return pad("Domain Name: " + d + "\nROID: 20030312s10001s00033735-cn\nDomain Status: ok\n", 560,
               "Name Server: dns.example-cloud-service.test\n")
           + "Registration Time: 2003-03-17 12:20:05\nExpiration Time: 2030-03-17 12:48:36\nDNSSEC: unsigned\n";
}

QByteArray dotLa(const QByteArray &d, bool taken)
{
    const QByteArray head = taken ? "Domain Name: " + d.toUpper()
                                        + "\r\nRegistry Domain ID: D4255000001-CNIC\r\nRegistry Expiry Date: 2026-01-01T23:59:59.0Z\r\n"
                                  : QByteArray("DOMAIN NOT FOUND\r\n");
    return pad(head + ">>> Last update of WHOIS database: 2024-09-01T10:00:00.0Z <<<\r\n", 1500);
}

QByteArray dotMe(const QByteArray &d, bool taken)
{
    if (!taken)
        return "NOT FOUND\n";
    return pad("", 1100, "Access to .ME WHOIS information is provided to assist persons in determining the contents.\n")
           + "Domain ID:D425500000001-MEREG\nDomain Name:" + d.toUpper()
           + "\nCreated On:01-May-2008 12:00:00 UTC\nDomain Expiration Date:01-May-2030 12:00:00 UTC\n";
}

QByteArray dotBiz(const QByteArray &d, bool taken)
{
    if (!taken)
        return "No Data Found\n\n" + Terms;
    return pad("", 1200, "NeuStar, Inc., the Registry Operator for .BIZ, provides this data for information only.\n")
           + "Domain Name:                                 " + d.toUpper()
           + "\nDomain ID:                                   D1234567-BIZ\n"
             "Domain Expiration Date:                      Sun Nov 06 23:59:59 GMT 2030\n";
}

QList<QByteArray> limits()
{
    // One phrase each; in capitals, one line ending or the other.
    return {"WHOIS LIMIT EXCEEDED - SEE WWW.PIR.ORG/WHOIS FOR DETAILS\n", "You have exceeded this query limit.\r\n",
            "Please try again later.\r\n",          "Slow down, you are querying too fast\r\n",
            "Please wait a while and retry\r\n",    "Queried interval is too short.\n",
            "Service temporarily unavailable\r\n",  "The WHOIS service is currently down for maintenance\r\n",
            "Daily QUOTA reached\r\n"};
}

} // namespace Replies
