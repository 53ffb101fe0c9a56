#pragma once

namespace mervok {

// Windows' CP932 table gives some JIS codes another character than the
// standard table does (～ for 〜, － for −, ∥ for ‖, ￠ ￡ ￢ for ¢ £ ¬), so the
// same text reads differently from Shift-JIS and from ISO-2022-JP. A search
// treats each pair as one character.

// The standard (JIS) form of c; every other character as it is.
char32_t JisVariantFold(char32_t c);

// The other form of c's pair; c itself when it has none.
char32_t JisVariantPartner(char32_t c);

}  // namespace mervok
