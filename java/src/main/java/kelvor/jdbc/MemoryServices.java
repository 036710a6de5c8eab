package kelvor.jdbc;

import java.nio.charset.StandardCharsets;
import java.util.HashMap;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;

/**
 * Connection services served from a catalog held in memory: the stand-in server for tests,
 * examples and programs without one. Types are added by SQL name ("SCHEMA.TYPE") with their
 * TDS, layout and attribute rows; the server's format descriptor is handed to a connection
 * that has none yet.
 */
public final class MemoryServices implements ConnectionServices {
  /** The default format descriptor: NUMBER slots of 22 bytes, a date's year high byte first. */
  public static final byte[] DEFAULT_FORMAT_DESCRIPTOR =
      hex("000000000001080000000000c3000000000041b010");

  private final Map<String, TypeInfo> catalog = new ConcurrentHashMap<>();
  private final Map<String, String[]> rows = new ConcurrentHashMap<>();
  private final Map<String, Object> descriptors = new HashMap<>();
  private volatile byte[] formatDescriptor;
  private volatile byte[] serverFormatDescriptor = DEFAULT_FORMAT_DESCRIPTOR;
  private volatile int charsetId = 106;

  /**
   * Serves a type. The type identifier is derived from the name; the version is the TDS's.
   *
   * @param attributeRows three strings per attribute (name, type name, type schema), or null
   */
  public void addType(String sqlName, byte[] tds, byte[] layout, String[] attributeRows) {
    int version = tds.length > 5 ? tds[5] : 1;
    catalog.put(sqlName, new TypeInfo(typeIdOf(sqlName), version, tds, layout, null));
    if (attributeRows != null) {
      rows.put(sqlName, attributeRows.clone());
    }
  }

  /** Serves a type with exactly the given information (its format descriptor is ignored). */
  public void addType(String sqlName, TypeInfo info, String[] attributeRows) {
    catalog.put(sqlName, info);
    if (attributeRows != null) {
      rows.put(sqlName, attributeRows.clone());
    }
  }

  public void setServerFormatDescriptor(byte[] fd) {
    serverFormatDescriptor = fd;
  }

  public void setDbCharsetId(int id) {
    charsetId = id;
  }

  @Override
  public TypeInfo typeInfo(String schema, String type, boolean withFormat) {
    TypeInfo t = catalog.get(schema + "." + type);
    if (t == null) {
      return null;
    }
    return new TypeInfo(t.typeId, t.version, t.tds, t.layout, withFormat ? serverFormatDescriptor : null);
  }

  @Override
  public String[] attributeNames(String schema, String type) {
    String[] r = rows.get(schema + "." + type);
    return r == null ? new String[0] : r.clone();
  }

  @Override
  public synchronized Object getDescriptor(String sqlName) {
    return descriptors.get(sqlName);
  }

  @Override
  public synchronized void putDescriptor(String sqlName, Object descriptor) {
    descriptors.put(sqlName, descriptor);
  }

  @Override
  public byte[] getFormatDescriptor() {
    return formatDescriptor;
  }

  @Override
  public void setFormatDescriptor(byte[] fd) {
    formatDescriptor = fd;
  }

  @Override
  public long describeTypeProperty(String sqlName) {
    return 1;
  }

  @Override
  public int getDbCharsetId() {
    return charsetId;
  }

  /** The 16-byte identifier the in-memory catalogs give a type name (the same in C++). */
  public static byte[] typeIdOf(String name) {
    long h = 0xcbf29ce484222325L;
    for (byte c : name.getBytes(StandardCharsets.UTF_8)) {
      h = (h ^ (c & 0xFF)) * 0x100000001b3L;
    }
    byte[] id = new byte[16];
    for (int i = 0; i < 16; ++i) {
      id[i] = (byte) (h >>> (8 * (i % 8)));
      if (i == 7) {
        h *= 0x9E3779B97F4A7C15L;
      }
    }
    return id;
  }

  static byte[] hex(String s) {
    byte[] out = new byte[s.length() / 2];
    for (int i = 0; i < out.length; ++i) {
      out[i] = (byte) Integer.parseInt(s.substring(2 * i, 2 * i + 2), 16);
    }
    return out;
  }
}
