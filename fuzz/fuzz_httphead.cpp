// The web view's request head reader on any bytes: it answers, within its bounds, and a head it
// accepts stays accepted whatever follows it.
#include "fuzzcheck.h"
#include "httphead.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray received(reinterpret_cast<const char *>(data), int(size));
    const HttpHead::Request request = HttpHead::parse(received);
    FUZZ_CHECK(request.error == 0 || request.error == 400 || request.error == 431);
    FUZZ_CHECK(!(request.complete && request.error != 0));
    // Never waiting for more than the longest head allowed.
    FUZZ_CHECK(request.complete || request.error != 0 || received.size() < HttpHead::MaxHeadBytes);
    if (!request.complete)
        return 0;
    FUZZ_CHECK(request.path.startsWith('/'));
    FUZZ_CHECK(!request.method.isEmpty() && !request.method.contains(' '));
    FUZZ_CHECK(request.fields.size() <= HttpHead::MaxHeaderFields);
    const HttpHead::Request more = HttpHead::parse(received + QByteArray("GET / HTTP/1.1\r\n\r\n"));
    FUZZ_CHECK(more.complete && more.method == request.method && more.path == request.path &&
               more.fields == request.fields);
    return 0;
}
