#pragma once

// The scan's item for the product's entries in the keyboard settings. Its detail is their count,
// or `notCheckedDetail` when the settings cannot be read: then nothing can tell whether the
// product is still in them, so they are never reported clean. The end screen recognises the item
// among the residues by these texts.
namespace KeyboardSettingsItem {

inline constexpr const char* title = "Keyboard settings entries";
inline constexpr const char* notCheckedDetail = "could not be checked";

} // namespace KeyboardSettingsItem
