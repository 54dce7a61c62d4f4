// Decodes BGP4MP and BGP4MP_ET records that carry BGP UPDATE messages (RFC 6396 sections 4.4
// and 4.5, RFC 4271 section 4.3).
//
//   [BGP4MP_ET only: microseconds (4)]
//   peer AS (2 or 4) | local AS (2 or 4) | interface index (2) | AFI (2)
//   peer address (4 or 16) | local address (4 or 16)
//   BGP message: marker (16 x 0xff) | length (2) | type (1) | body
//   UPDATE body: withdrawn length (2) | withdrawn routes | attribute length (2) | attributes | NLRI
//
// Selected are MRT types 16 (BGP4MP) and 17 (BGP4MP_ET, the same with a microsecond field),
// subtypes 1 (2-byte ASNs) and 4 (4-byte ASNs), and BGP message type 2 (UPDATE); everything else
// is `kNotSelected`. A selected record that breaks the layout or holds a malformed prefix list or
// AS_PATH is `kMalformed`. The legacy withdrawn routes and NLRI are IPv4 whatever the session's
// family: collectors record IPv4 routes learnt over IPv6 sessions.
//
// The decoder owns the `AsPath` that decoded updates point to; a decoded update is valid until
// the next `decode` call and as long as the record bytes it was decoded from.
#pragma once

#include "mrt/as_path.h"
#include "mrt/attributes.h"
#include "mrt/bgp_update.h"
#include "mrt/record_batcher.h"

namespace tarvex::mrt {

enum class DecodeResult {
  kUpdate,       // `update` holds the message
  kNotSelected,  // not a BGP4MP UPDATE: passed over without a word
  kMalformed,    // a BGP4MP UPDATE record that breaks its layout: skipped and counted
};

class UpdateDecoder {
 public:
  /// Decodes `record` into `update`. Unless the result is `kUpdate`, `update` may have been
  /// partly overwritten and must not be used.
  DecodeResult decode(const MrtRecord& record, BgpUpdate& update);

 private:
  AsPath asPath_;
  PathAttributes attributes_;  // scratch space, reused from message to message
};

}  // namespace tarvex::mrt
