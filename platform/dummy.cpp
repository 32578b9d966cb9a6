// Keeps the library non-empty while a platform has no sources yet.
