// The steps both image writers share when they put bytes in a file.
#pragma once

#include <memory>
#include <string>

#include "core/files.h"

namespace pixtrel {

// Starts replacing `path`; raises "Impossible de créer le fichier ..." with the system's reason.
std::unique_ptr<OutputFile> CreateImageFile(Files& files, const std::string& path);
// Raises "Erreur d'écriture dans le flux" when fewer bytes are stored than asked.
void WriteOrFail(OutputFile& file, const void* data, std::size_t size);
// Puts the finished file in place; the same error when that fails.
void CommitOrFail(OutputFile& file);

}  // namespace pixtrel
