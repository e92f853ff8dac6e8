#include "httphead.h"

namespace {

constexpr int BadRequest = 400;
constexpr int HeadTooLarge = 431;

// RFC 9110 token characters: what a method and a field name are made of.
bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum && !QByteArray("!#$%&'*+-.^_`|~").contains(c))
            return false;
    }
    return true;
}

bool isVisible(char c)
{
    return static_cast<unsigned char>(c) > 0x20 && c != 0x7F;
}

// A field value: visible characters, blanks and bytes above ASCII (obs-text); no controls.
bool isFieldValue(const QByteArray &text)
{
    for (const char c : text)
        if (!isVisible(c) && c != ' ' && c != '\t')
            return false;
    return true;
}

HttpHead::Request failed(int status)
{
    HttpHead::Request request;
    request.error = status;
    return request;
}

bool parseRequestLine(const QByteArray &line, HttpHead::Request &request)
{
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !isToken(parts[0]))
        return false;
    const QByteArray &target = parts[1];
    if (!target.startsWith('/'))
        return false;
    for (const char c : target)
        if (!isVisible(c))
            return false;
    if (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0")
        return false;
    request.method = parts[0];
    request.version = parts[2];
    const int query = target.indexOf('?');
    request.path = query < 0 ? target : target.left(query);
    return true;
}

} // namespace

namespace HttpHead {

QByteArray Request::field(const QByteArray &name) const
{
    for (const auto &entry : fields)
        if (entry.first == name)
            return entry.second;
    return QByteArray();
}

Request parse(const QByteArray &received)
{
    const QByteArray head = received.left(MaxHeadBytes);
    Request request;
    int at = 0;
    bool first = true;
    bool hasHost = false;
    while (true) {
        const int end = head.indexOf('\n', at);
        if (end < 0)
            return failed(received.size() >= MaxHeadBytes ? HeadTooLarge : 0);
        QByteArray line = head.mid(at, end - at);
        if (line.endsWith('\r'))
            line.chop(1);
        at = end + 1;
        if (first) {
            if (!parseRequestLine(line, request))
                return failed(BadRequest);
            first = false;
            continue;
        }
        if (line.isEmpty())
            break;
        if (request.fields.size() == MaxHeaderFields)
            return failed(HeadTooLarge);
        // No folded lines, no blank before the colon.
        const int colon = line.indexOf(':');
        const QByteArray name = line.left(colon).toLower();
        if (colon <= 0 || !isToken(name))
            return failed(BadRequest);
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!isFieldValue(value))
            return failed(BadRequest);
        // One Host, and one a client of HTTP/1.1 must send; Host: a, b is a lie about where it went.
        if (name == "host") {
            if (hasHost || value.contains(','))
                return failed(BadRequest);
            hasHost = true;
        }
        request.fields.append({name, value});
    }
    if (!hasHost && request.version == "HTTP/1.1")
        return failed(BadRequest);
    request.complete = true;
    return request;
}

} // namespace HttpHead
