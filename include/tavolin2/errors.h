/* The runtime error numbers the library raises, with their standard texts.
 * A failed member returns T2_ERROR_STATUS(number); T2DescribeStatus gives the
 * number back.  One row per error: name, number, text.
 *
 * Language: C11, or C++17 and later; it compiles alone with -pedantic at both.
 */
#ifndef TAVOLIN2_ERRORS_H
#define TAVOLIN2_ERRORS_H

#define T2_RUNTIME_ERRORS(X)                                                          \
    X(ReturnWithoutGoSub, 3, "Return without GoSub")                                  \
    X(InvalidCall, 5, "Invalid procedure call or argument")                           \
    X(Overflow, 6, "Overflow")                                                        \
    X(OutOfMemory, 7, "Out of memory")                                                \
    X(Subscript, 9, "Subscript out of range")                                         \
    X(ArrayLocked, 10, "This array is fixed or temporarily locked")                   \
    X(DivisionByZero, 11, "Division by zero")                                         \
    X(TypeMismatch, 13, "Type mismatch")                                              \
    X(CantPerform, 17, "Can't perform requested operation")                           \
    X(OutOfStack, 28, "Out of stack space")                                           \
    X(DllLoad, 48, "Error in loading DLL")                                            \
    X(BadFileName, 52, "Bad file name or number")                                     \
    X(FileNotFound, 53, "File not found")                                             \
    X(BadFileMode, 54, "Bad file mode")                                               \
    X(FileAlreadyOpen, 55, "File already open")                                       \
    X(DeviceIO, 57, "Device I/O error")                                               \
    X(FileExists, 58, "File already exists")                                          \
    X(DiskFull, 61, "Disk full")                                                      \
    X(InputPastEnd, 62, "Input past end of file")                                     \
    X(BadRecordNumber, 63, "Bad record number")                                       \
    X(TooManyFiles, 67, "Too many files")                                             \
    X(DeviceUnavailable, 68, "Device unavailable")                                    \
    X(PermissionDenied, 70, "Permission denied")                                      \
    X(DiskNotReady, 71, "Disk not ready")                                             \
    X(PathFileAccess, 75, "Path/File access error")                                   \
    X(PathNotFound, 76, "Path not found")                                             \
    X(ObjectNotSet, 91, "Object variable or With block variable not set")             \
    X(InvalidUseOfNull, 94, "Invalid use of Null")                                    \
    X(ResourceNotFound, 326, "Resource not found")                                    \
    X(ObjectRequired, 424, "Object required")                                         \
    X(CantCreateObject, 429, "Object can't be created")                               \
    X(NoSuchMember, 438, "Object doesn't support this property or method")            \
    X(ActionNotSupported, 445, "Object doesn't support this action")                  \
    X(NamedArgNotFound, 448, "Named argument not found")                              \
    X(ArgNotOptional, 449, "Argument not optional")                                   \
    X(WrongArgCount, 450, "Wrong number of arguments or invalid property assignment") \
    X(PropertyLetNotDefined, 451,                                                     \
      "Property let procedure not defined and property get procedure did not return an object")

/* T2_ERR_Overflow = 6, ... */
enum T2RuntimeError {
#define T2_ERROR_ENUM_ROW(name, number, text) T2_ERR_##name = number,
    T2_RUNTIME_ERRORS(T2_ERROR_ENUM_ROW)
#undef T2_ERROR_ENUM_ROW
        T2_ERR_ApplicationDefault = 0 /* not an error: the end of the list */
};

#endif
