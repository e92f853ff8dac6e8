#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Reads the head of one HTTP/1.x request (request line and header fields), nothing else: the web view
// only answers GET, so no body is ever read. Pure and bounded: it looks at most MaxHeadBytes and
// MaxHeaderFields, so what a client sends can never make it hold more.
namespace HttpHead {

constexpr int MaxHeadBytes = 8192;
constexpr int MaxHeaderFields = 100;

struct Request
{
    // Status code to answer with when the head cannot be served as it is (400 or 431); 0 if it is
    // well formed.
    int error = 0;
    bool complete = false;
    QByteArray method;
    QByteArray version;
    QByteArray path;                             // the target without its query
    QList<QPair<QByteArray, QByteArray>> fields; // names in lower case, values without outer blanks

    // The value of the first field of that name (lower case), or a null array.
    QByteArray field(const QByteArray &name) const;
};

// What the bytes received so far say: incomplete (more may come), an error, or a complete head.
// Lines may end with CR LF or a bare LF. Bytes beyond the head are not looked at.
Request parse(const QByteArray &received);

} // namespace HttpHead
