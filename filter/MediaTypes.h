// The media types the output pin offers: a byte stream, with the subtype that the platform's
// check-bytes table gives for the plaintext's first bytes, then the untyped stream.
#pragma once

#include <dshow.h>

#include <vector>

// A stream media type of the given subtype: fixed-size 1-byte samples, no format block.
AM_MEDIA_TYPE StreamMediaType(const GUID& Subtype) noexcept;

// The types offered for a subtype: that subtype, then MEDIASUBTYPE_NULL (just the latter when
// the subtype is MEDIASUBTYPE_NULL itself).
std::vector<AM_MEDIA_TYPE> OfferedMediaTypes(const GUID& Subtype);

// Copies into caller-owned storage; the format block, if any, goes to task memory.
HRESULT CopyMediaType(const AM_MEDIA_TYPE& Source, AM_MEDIA_TYPE& Target) noexcept;
// A copy in task memory, for IEnumMediaTypes::Next.
AM_MEDIA_TYPE* CreateMediaTypeCopy(const AM_MEDIA_TYPE& Source) noexcept;
// Frees what CopyMediaType allocated inside Type (not Type itself).
void FreeMediaTypeContents(AM_MEDIA_TYPE& Type) noexcept;

// Whether Candidate is a complete type this pin can deliver: major type stream, any subtype.
bool AcceptableMediaType(const AM_MEDIA_TYPE& Candidate) noexcept;
// Whether Candidate agrees with a (possibly partial) type: null GUIDs match anything.
bool MatchesPartialType(const AM_MEDIA_TYPE& Candidate, const AM_MEDIA_TYPE* Partial) noexcept;
