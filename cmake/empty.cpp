// The shared engine library is made only of its static parts.
