// Keeps the library non-empty before any pure source exists.
