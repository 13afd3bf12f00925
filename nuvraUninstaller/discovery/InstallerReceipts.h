#pragma once

#include <string>
#include <string_view>
#include <vector>

// Reading the product's packages out of "pkgutil --pkgs", which lists the id of every package
// whose installer receipt the Mac keeps, one a line.
namespace InstallerReceipts {

// The product's own: ids that start with exactly "ai.nuvra.", each once, in listing order. Another
// maker's id that merely contains or resembles it ("com.ai.nuvra.x", "ai.nuvrax.y") is not ours.
std::vector<std::string> productPackageIds(std::string_view listing);

} // namespace InstallerReceipts
