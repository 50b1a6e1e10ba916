// Anchor of the std-only platform library; the adapters live in *_std.cpp.
