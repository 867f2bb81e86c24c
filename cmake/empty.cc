// Placeholder translation unit for a library whose folder is still empty.
