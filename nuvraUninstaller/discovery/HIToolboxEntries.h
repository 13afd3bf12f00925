#pragma once

#include "PlistValue.h"

// Recognising the product's entries in the keyboard settings (com.apple.HIToolbox). The scan
// counts with these and the input-source removal drops with them, so both always agree on what
// belongs to the product.
namespace HIToolboxEntries {

// The entries under one keyboard-settings key when the value is a list of dictionaries; nullptr
// for a missing key or a value of any other shape (which then holds nothing of ours).
const plist::Array* entryList(const plist::Dictionary& settings, const std::string& key);

// An input-source entry is the product's when its full description, keys and values at every
// depth, mentions "nuvra" in any letter case.
bool isProductEntry(const plist::Value& entry);

// Product entries summed over the four input-source keys; an entry listed under two keys counts
// twice. Other keys are never looked at.
int countProductEntries(const plist::Dictionary& settings);

} // namespace HIToolboxEntries
