#pragma once
// The publisher's signature of a release: the feed's statement of what it
// offers, signed with the private half of the release key (ECDSA P-256 over
// SHA-256) and verified against the public half, a constant of the build.
#include "update/ReleaseFeed.h"

#include <array>

namespace vexa {

// The public key's point X followed by Y, generated from VEXA_RELEASE_PUBLIC_KEY.
extern const std::array<unsigned char, 64> publisherKeyPoint;

// Raises "Launcher update is not signed by the publisher." unless the release's
// signature verifies over its releaseStatement.
void requirePublisherSignature(const UpdateRelease& release);

} // namespace vexa
