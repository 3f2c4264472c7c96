#pragma once
// The result web site and the support address: every text that names them uses these.

inline constexpr wchar_t resultSiteHost[] = L"tallybrook.app";
inline constexpr wchar_t supportEmail[] = L"support@tallybrook.app";
