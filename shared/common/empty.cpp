// Keeps a module with only headers a valid library.
