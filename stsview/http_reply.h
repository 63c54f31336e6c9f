// A reply's bytes on the wire: the status line and the headers every reply
// carries (no caching, no sniffing, no referrer, no framing, the page's
// content security policy), apart from the sockets so that the tests read
// them.  No compression and no ranges: every reply is the whole body.
#ifndef STSVIEW_HTTP_REPLY_H
#define STSVIEW_HTTP_REPLY_H

#include <ctime>
#include <string>
#include <string_view>

#include "stsview/routes.h"

namespace sts {

// The status line and headers of r, Content-Length its body's size (a HEAD
// is sent without the body, with the same head), Connection: close unless
// keep_alive, ended by the empty line.  date: an HTTP date (http_date).
std::string reply_head(const reply& r, bool keep_alive, std::string_view date);

// t as an IMF-fixdate (RFC 9110 5.6.7): "Sun, 06 Nov 1994 08:49:37 GMT".
std::string http_date(std::time_t t);

// A refusal before the handler (a malformed or too large request): the
// status and {"error": message}.
reply refusal_reply(int status, std::string_view message);

}  // namespace sts

#endif
