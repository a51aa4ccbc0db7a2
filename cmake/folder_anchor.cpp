// Gives every folder library at least one translation unit, so a folder whose
// sources are still being written configures and links.
namespace tikora_folder_anchor {
void anchor() {}
}
