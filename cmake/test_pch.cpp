// The translation unit the tests' precompiled header is built with.
