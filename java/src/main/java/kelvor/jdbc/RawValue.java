package kelvor.jdbc;

/** A RAW value: bytes as they stand. */
public final class RawValue extends SqlValue {
  public RawValue(byte[] bytes) {
    super(bytes, RAW);
  }
}
