// The one source of a target made only of libraries: Corvane.so is its
// libraries, linked whole.
