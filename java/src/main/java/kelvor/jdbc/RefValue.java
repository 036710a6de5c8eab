package kelvor.jdbc;

/** A REF: the bytes of a reference to an object on the server. */
public final class RefValue extends SqlValue {
  public RefValue(byte[] bytes) {
    super(bytes, REF);
  }
}
