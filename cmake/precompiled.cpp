// The source of a target that only hosts precompiled headers for others.
