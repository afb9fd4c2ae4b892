// Feeds arbitrary text to the decoders of the stored documents (a patch, the patch list, the
// session) and checks what must hold for any input: no crash, and whatever decodes encodes
// to a document that decodes to the same value.
#include "store/LivePatch.h"
#include "store/SessionStore.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    if (const auto list = norvane::LivePatch::decodeList(text))
        if (norvane::LivePatch::decodeList(norvane::LivePatch::encodeList(*list)) != list)
            std::abort();
    if (const auto patch = norvane::LivePatch::decode(text))
        if (norvane::LivePatch::decode(patch->encode()) != patch)
            std::abort();
    if (const auto session = norvane::SessionState::decode(text))
        if (norvane::SessionState::decode(session->encode()) != session)
            std::abort();
    return 0;
}
