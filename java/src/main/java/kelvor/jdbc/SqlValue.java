package kelvor.jdbc;

import java.util.Arrays;
import java.util.HexFormat;

/**
 * A driver value that holds its bytes as the server sends them. Its conversions to Java's own
 * types are the library's (the same code the native descriptors use), so a malformed byte form
 * fails with driver error 59 on conversion, not when read.
 */
public abstract class SqlValue {
  /** The byte form; read by the native library. */
  final byte[] bytes;

  SqlValue(byte[] bytes) {
    if (bytes == null) {
      throw new NullPointerException("bytes");
    }
    this.bytes = bytes;
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
