#pragma once
// A per-process file for each suffix that holds the current fuzz input for readers that take a
// file name. In /dev/shm when it exists, so the disk is not worn by millions of
// writes.
#include <cstddef>
#include <cstdint>
#include <string>

// Replaces the file's contents with the bytes and returns its path.
const std::string& writeScratchFile(const uint8_t* data, size_t size, const char* suffix);
