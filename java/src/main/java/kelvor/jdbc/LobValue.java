package kelvor.jdbc;

/** A LOB locator: the bytes name the large object on the server. */
public final class LobValue extends SqlValue {
  public static final int BLOB = 0;
  public static final int CLOB = 1;
  public static final int BFILE = 2;

  private final int kind;

  public LobValue(int kind, byte[] locator) {
    super(locator, LOB);
    this.kind = kind;
  }

  /** BLOB, CLOB or BFILE. */
  public int getKind() {
    return kind;
  }

  @Override
  public boolean equals(Object o) {
    return super.equals(o) && ((LobValue) o).kind == kind;
  }

  @Override
  public int hashCode() {
    return 31 * super.hashCode() + kind;
  }
}
