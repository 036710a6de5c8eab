package kelvor.jdbc;

import java.util.Arrays;
import java.util.HexFormat;

/**
 * A driver value that holds its bytes as the server sends them. Its conversions to Java's own
 * types are the library's (the same code the native descriptors use), so a malformed byte form
 * fails with driver error 59 on conversion, not when read.
 */
public abstract class SqlValue {
  // The value class, for the native library (one field read instead of a chain of class tests).
  static final int NUMBER = 1;
  static final int CHAR = 2;
  static final int DATE = 3;
  static final int RAW = 4;
  static final int LOB = 5;
  static final int REF = 6;

  /** The byte form; read by the native library. */
  final byte[] bytes;

  final int kind;

  SqlValue(byte[] bytes, int kind) {
    if (bytes == null) {
      throw new NullPointerException("bytes");
    }
    this.bytes = bytes;
    this.kind = kind;
  }

  /** A copy of the byte form. */
  public byte[] getBytes() {
    return bytes.clone();
  }

  @Override
  public boolean equals(Object o) {
    return o != null && o.getClass() == getClass() && Arrays.equals(bytes, ((SqlValue) o).bytes);
  }

  @Override
  public int hashCode() {
    return Arrays.hashCode(bytes);
  }

  @Override
  public String toString() {
    return getClass().getSimpleName() + "(" + HexFormat.of().formatHex(bytes) + ")";
  }
}
