// Placeholder for a folder library that has no classes yet.
