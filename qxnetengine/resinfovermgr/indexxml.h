#pragma once
// The package index 1.xml: a root node with one Record per resource, each
// holding a ResID and a PackageID.

#include "qxnetengine/resinfovermgr/resinfovergog.h"

#include <string>
#include <vector>

// Appends the records of text to items in document order; false when the
// text is not well-formed (nested deeper than kMaxIndexDepth counts as
// such), has no root, or a Record lacks its ResID or PackageID (the records
// before it stay).
bool ParseIndexXml(const std::string& text, std::vector<ResInfoItem>& items);

const int kMaxIndexDepth = 256;
