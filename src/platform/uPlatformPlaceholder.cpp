// Keeps the platform library non-empty until its first unit lands.
namespace quillory::platform_detail {
int keepLibraryNonEmpty() { return 0; }
} // namespace quillory::platform_detail
