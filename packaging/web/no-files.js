// The page has no file system. SDL's handlers for files dropped on the
// window make a folder for them as they start and remove it as they stop:
// here there is none to make, and it is empty. A file dropped finds no way
// in, which SDL's handler catches, and the demo takes no files anyway.
var FS = { mkdir() {}, readdir: () => [], rmdir() {} };
