#include "MediaTypes.h"

#include <cstring>

AM_MEDIA_TYPE StreamMediaType(const GUID& Subtype) noexcept {
  AM_MEDIA_TYPE Type = {};
  Type.majortype = MEDIATYPE_Stream;
  Type.subtype = Subtype;
  Type.bFixedSizeSamples = TRUE;
  Type.bTemporalCompression = FALSE;
  Type.lSampleSize = 1;
  Type.formattype = GUID_NULL;
  return Type;
}

std::vector<AM_MEDIA_TYPE> OfferedMediaTypes(const GUID& Subtype) {
  std::vector<AM_MEDIA_TYPE> Types;
  if (Subtype != MEDIASUBTYPE_NULL) Types.push_back(StreamMediaType(Subtype));
  Types.push_back(StreamMediaType(MEDIASUBTYPE_NULL));
  return Types;
}

HRESULT CopyMediaType(const AM_MEDIA_TYPE& Source, AM_MEDIA_TYPE& Target) noexcept {
  Target = Source;
  Target.pbFormat = nullptr;
  Target.cbFormat = 0;
  if (Source.cbFormat && Source.pbFormat) {
    Target.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(Source.cbFormat));
    if (!Target.pbFormat) return E_OUTOFMEMORY;
    std::memcpy(Target.pbFormat, Source.pbFormat, Source.cbFormat);
    Target.cbFormat = Source.cbFormat;
  }
  if (Target.pUnk) Target.pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaTypeCopy(const AM_MEDIA_TYPE& Source) noexcept {
  auto* Copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!Copy) return nullptr;
  if (FAILED(CopyMediaType(Source, *Copy))) {
    CoTaskMemFree(Copy);
    return nullptr;
  }
  return Copy;
}

void FreeMediaTypeContents(AM_MEDIA_TYPE& Type) noexcept {
  if (Type.pbFormat) CoTaskMemFree(Type.pbFormat);
  Type.pbFormat = nullptr;
  Type.cbFormat = 0;
  if (Type.pUnk) Type.pUnk->Release();
  Type.pUnk = nullptr;
}

bool AcceptableMediaType(const AM_MEDIA_TYPE& Candidate) noexcept {
  return Candidate.majortype == MEDIATYPE_Stream;
}

bool MatchesPartialType(const AM_MEDIA_TYPE& Candidate, const AM_MEDIA_TYPE* Partial) noexcept {
  if (!Partial) return true;
  if (Partial->majortype != GUID_NULL && Partial->majortype != Candidate.majortype) return false;
  if (Partial->subtype != GUID_NULL && Partial->subtype != Candidate.subtype) return false;
  if (Partial->formattype != GUID_NULL && Partial->formattype != Candidate.formattype) return false;
  return true;
}
