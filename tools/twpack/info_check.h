// The vendor's check of an uninstall information text: each way in which
// the uninstaller would silently do something other than the vendor meant,
// reported with its place and a plain explanation.
#pragma once

#include <string>
#include <vector>

enum class FindingLevel { Error, Warning };

struct Finding {
    FindingLevel level = FindingLevel::Error;
    std::string section;   // the section's usual spelling, or as written
    std::string key;       // empty when the finding is about a section
    int line = 0;          // 1-based; 0 when it is about something missing
    std::string message;   // one or more sentences for someone new to the format
};

// Checks the information text (the bytes that the uninstaller will read)
// and returns the findings in the order of their lines, those without a
// line first.
std::vector<Finding> CheckInfoText(const std::string& text);

size_t CountFindings(const std::vector<Finding>& findings, FindingLevel level);

// "file:line: error: [Section] key" lines, each followed by its indented,
// wrapped explanation, and a closing count.
std::string FormatFindingsText(const std::vector<Finding>& findings, const std::string& fileName);

// The same as one JSON object: {"file", "errors", "warnings", "findings":
// [{"level", "section", "key", "line", "message"}]}. Bytes above 0x7F in
// names and values appear as \u0080-\u00FF, one escape per byte, because
// the code page of the text is not known.
std::string FormatFindingsJson(const std::vector<Finding>& findings, const std::string& fileName);

// True when the last byte of a path is 0x5C but, read as Shift-JIS, that
// byte is the second half of a double-byte character: the path ends in a
// backslash on most systems and in a Japanese character on Japanese ones.
bool EndsInShiftJisTrailBackslash(const std::string& path);
