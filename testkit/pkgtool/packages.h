#pragma once
// Resource packages from a small description: ZIP archives whose 1.xml
// indexes their resources, written with the library's own archive writer.
//
// The description has one statement per line ('#' starts a comment):
//   package VERSION SUBNO                   starts the package file VERSION.SUBNO
//   record RESID PACKAGEID [NAME=VALUE]...  one resource of the current package;
//                                          the pairs become attributes of its Record

#include <string>

// Writes every package of the description into outDir; false (with a line
// on standard error) at the first problem.
bool BuildPackages(const char* description, const std::string& outDir, bool verbose);
