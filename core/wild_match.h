#pragma once
// Wildcard matching: '*' stands for any run of characters, '?' for exactly
// one, every other character for itself; fold compares A-Z as lower case.
// A '*' reached only after the whole text is used up does not match: abc
// matches ab* but not abc*.

// 1 when the whole text matches the whole pattern, else 0.
int wild_match(const char* text, const char* pattern, int fold);
